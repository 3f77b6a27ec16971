#!/usr/bin/env python3
"""Writes the seed corpus of the CTC file fuzzer: one small valid file of
every header variant, data type and ordering. Run from anywhere; it writes
into the corpus folder next to this script."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
ELEMENT_FORMAT = {1: "<f", 3: "<h", 4: "<b", 5: "<f"}


def header(data_type, ordering, channels, samples, version=1, compression=0, params=(),
           blocks=()):
    out = struct.pack("<II", version, compression)
    if compression != 0:
        out += struct.pack("<I", len(params)) + b"".join(struct.pack("<I", p) for p in params)
    out += struct.pack("<IIIIf", data_type, ordering, channels, samples, 500.0)
    if data_type > 2:
        out += b"".join(struct.pack("<f", 0.5 * c) for c in range(channels))
        out += b"".join(struct.pack("<f", 1.0 + c) for c in range(channels))
    out += struct.pack("<I", len(blocks))
    for column in range(3):
        out += b"".join(struct.pack("<I", block[column]) for block in blocks)
    return out


def data(data_type, count):
    return b"".join(struct.pack(ELEMENT_FORMAT[data_type], (e % 50) - 25) for e in range(count))


def epoched_count(channels, blocks):
    return sum(channels * max(trials, 1) * (pre + post) for trials, pre, post in blocks)


def main():
    os.makedirs(CORPUS, exist_ok=True)
    files = {}
    names = {1: "float", 3: "int16", 4: "int8", 5: "scaled"}
    for data_type in (1, 3, 4, 5):
        for ordering in (1, 2):
            files[f"{names[data_type]}-ordering{ordering}"] = (
                header(data_type, ordering, 3, 8) + data(data_type, 24))
    files["compressed-with-params"] = header(3, 1, 2, 4, compression=2, params=(7, 9)) + data(3, 8)
    files["compressed-without-params"] = header(1, 2, 2, 4, compression=3) + data(1, 8)
    files["continuous-with-blocks"] = header(4, 1, 2, 4, blocks=((1, 2, 2), (0, 1, 3))) + data(4, 8)
    blocks = ((0, 2, 3), (3, 0, 2))
    for ordering in (3, 4, 5, 6):
        files[f"epoched-ordering{ordering}"] = (
            header(5, ordering, 2, 0, blocks=blocks) + data(5, epoched_count(2, blocks)))
    files["version0"] = header(1, 1, 2, 4, version=0) + data(1, 8)
    files["short-data-part"] = header(3, 2, 3, 8) + data(3, 10)
    files["trailing-bytes"] = header(1, 1, 1, 4) + data(1, 4) + b"tail"
    for name, content in files.items():
        with open(os.path.join(CORPUS, name + ".ctc"), "wb") as stream:
            stream.write(content)


if __name__ == "__main__":
    main()

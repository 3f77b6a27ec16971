#!/usr/bin/env bash
# Builds the CTC file fuzzer and the BrainVision header and marker fuzzer
# (preset `fuzz`, clang + libFuzzer) and runs them for about SECONDS seconds
# together (default 60; two thirds to the CTC files) with bounded memory.
# Exits non-zero when a fuzzer finds a crash, a leak, a timeout or runs out
# of memory; the input that did it is left in build/fuzz/ctc-fuzz/ or
# build/fuzz/brainvision-fuzz/.
#
#   fuzz/run-fuzz.sh [SECONDS]
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake --preset fuzz -B build/fuzz >/dev/null
cmake --build build/fuzz -j2 --target ctc_file_fuzzer brainvision_text_fuzzer
# Each at least a second: libFuzzer takes a time of 0 as no limit.
ctc_seconds=$(( seconds * 2 / 3 > 0 ? seconds * 2 / 3 : 1 ))
brainvision_seconds=$(( seconds - ctc_seconds > 0 ? seconds - ctc_seconds : 1 ))

# One fuzzer for its seconds: fuzz_for TARGET SECONDS MAX_LEN WORK SEEDS.
# stderr of the target (its one-line refusals) is closed; libFuzzer keeps its
# own reports and the sanitizers' on a copy of the stream.
fuzz_for() {
    mkdir -p "$4/corpus"
    "build/fuzz/fuzz/$1" \
        -max_total_time="$2" \
        -rss_limit_mb=2048 \
        -malloc_limit_mb=1024 \
        -timeout=20 \
        -max_len="$3" \
        -close_fd_mask=2 \
        -print_final_stats=1 \
        -artifact_prefix="$4/" \
        "$4/corpus" "$5"
}
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# Inputs become files here; in-place opens may extend them (sparsely, within
# the free space), so keep them out of the system's temporary folder.
mkdir -p build/fuzz/ctc-fuzz/scratch
export TMPDIR="$PWD/build/fuzz/ctc-fuzz/scratch"
fuzz_for ctc_file_fuzzer "$ctc_seconds" 8192 build/fuzz/ctc-fuzz fuzz/corpus
fuzz_for brainvision_text_fuzzer "$brainvision_seconds" 16384 build/fuzz/brainvision-fuzz \
    fuzz/brainvision-corpus

#pragma once

// Opening a CTC file, reading and rewriting windows of one channel, closing it.
// (Interface fixed for the run; the representation of DiskArray's stream and
// any access cache are the access layer's own business.)

#include <cstdint>

#include "ctc/ctc_file_record.h"
#include "ctc/disk_array.h"

// Open modes.
constexpr uint32_t kCtcOpenInPlace = 1;  // read and rewrite windows on disk
// Any other value loads the data part into memory.

// 1 on success, 0 on failure (messages on the standard error stream as the
// format layer gives them). The record needs no preparation. After a failure
// the record is fit only to be discarded.
int openCtcFile(CtcFile& file, const char* path, uint32_t openMode);
// The same with the staging of an interleaved file's windows in place chosen
// by the caller (openCtcFile uses the defaults).
int openCtcFileWith(CtcFile& file, const char* path, uint32_t openMode,
                    const ctc::StagingOptions& staging);

// Samples firstSample .. firstSample + count - 1 of `channel` as floats into
// destination[0 .. count - 1]. Returns count, or 0 on refusal or when the
// transfer failed.
int readCtcChannel(float* destination, CtcFile& file, uint32_t channel, uint32_t firstSample,
                   uint32_t count);

// Stores source[0 .. count - 1] as those samples, converted to the stored type.
// Returns count, or 0 on refusal or when the transfer failed. In place, the
// windows of an interleaved file (ordering 2) go to spans of the file that
// are reordered channel after channel, and FileVersion reads as zero in the
// file until the close has put them back in their order; every later read
// sees the windows at once, and a failure to put the spans back is reported
// by closeCtcFile (the file then keeps FileVersion zero).
int writeCtcChannel(const float* source, CtcFile& file, uint32_t channel, uint32_t firstSample,
                    uint32_t count);

// Releases what the record owns and closes the file. 1 when every write
// reached the file and the close succeeded, 0 otherwise (also when a write
// failed earlier, even if that window already returned 0). Nothing is synced
// to the disk: errors the system reports at the write and the close are
// reported here.
int closeCtcFile(CtcFile& file);

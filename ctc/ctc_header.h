#pragma once

// Reading a CTC header (layout in ctc_format.h) into a CtcFile, from any
// source of bytes, so the parser can be exercised without files.

#include <cstddef>
#include <cstdint>

#include "ctc/ctc_file_record.h"

namespace ctc {

struct ByteSource {
    const void* context;
    // Exactly `size` bytes from `position`, or false.
    bool (*readAt)(const void* context, uint64_t position, void* destination, size_t size);
    uint64_t length;  // total bytes the source holds
};

enum class HeaderStatus {
    Ok,
    DatatypeNotYetSupported,  // DataType 2 or 6 and more
    OrderingNotYetSupported,  // SampleOrdering 0 or 7 and more
    UnsupportedDatatype,      // DataType 0
    ArraysBeyondSource,       // a header array is longer than the bytes that follow
    OutOfMemory,
};

struct HeaderLayout {
    uint64_t headerLength;  // byte position of the first element
    uint64_t elementCount;  // elements of the data part
    bool elementCountFits;  // false when the element count overflows 64 bits
};

// Sets every field of `file` to its initial value: empty path, FileVersion 1,
// counts and types 0, SamplingFrequency 1, no arrays, no DiskData.
void initialiseCtcFile(CtcFile& file);

// Reads the header fields and arrays into `file`, which must be initialised.
// Fields that the source ends before keep their initial values; arrays are
// only allocated when the source holds them. On any status other than Ok no
// array is left allocated.
HeaderStatus parseCtcHeader(const ByteSource& source, CtcFile& file, HeaderLayout& layout);

// The line printed for a refusal, or null for Ok and OutOfMemory.
const char* headerStatusMessage(HeaderStatus status);

// Releases the header arrays (not the samples) and sets them to none.
void releaseCtcHeaderArrays(CtcFile& file);

}  // namespace ctc

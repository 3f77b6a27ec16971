#include "ctc/channel_window.h"

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/staged_channels.h"

namespace ctc {

namespace {

// The reordered spans serve the strided windows of an interleaved array;
// they are set up once, at the first such window, and without them the
// windows go to the file directly.
StagedChannels* stagedCopyFor(DiskArray& array, const WindowSpan& span) {
    if (span.stride <= 1 || (array.Flags & kDiskArrayOpen) == 0 || array.Stream == nullptr) {
        return nullptr;
    }
    DiskArrayStream& stream = *array.Stream;
    if (!stream.stagingTried && stream.staging.staged) {
        stream.stagingTried = true;
        stream.staged = createStagedChannels(array, span.stride, stream.staging.spanSamples,
                                             stream.staging.guardsHeader);
    }
    return stream.staged;
}

}  // namespace

bool readWindowFromDisk(DiskArray& array, const WindowSpan& span,
                        const SampleConversion& conversion, float* samples) {
    StagedChannels* staged = stagedCopyFor(array, span);
    return staged != nullptr ? readStagedWindow(array, *staged, span, conversion, samples)
                             : readWindowDirect(array, span, conversion, samples);
}

bool writeWindowToDisk(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples) {
    StagedChannels* staged = stagedCopyFor(array, span);
    return staged != nullptr ? writeStagedWindow(array, *staged, span, conversion, samples)
                             : writeWindowDirect(array, span, conversion, samples);
}

void readWindowFromMemory(const unsigned char* elements, uint32_t elementSize,
                          const WindowSpan& span, const SampleConversion& conversion,
                          float* samples) {
    decodeSamples(elements + span.firstElement * elementSize, span.stride * elementSize, span.count,
                  conversion, samples);
}

void writeWindowToMemory(unsigned char* elements, uint32_t elementSize, const WindowSpan& span,
                         const SampleConversion& conversion, const float* samples) {
    encodeSamples(samples, span.count, conversion, elements + span.firstElement * elementSize,
                  span.stride * elementSize);
}

}  // namespace ctc

#include "ctc/staged_channels.h"

#include <algorithm>
#include <new>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/element_transpose.h"
#include "ctc/file_handle.h"

namespace ctc {

namespace {

enum class Staging { Reordered, Direct, Failed };

constexpr uint64_t kGuardBytes = 4;

}  // namespace

// Span k holds samples k * spanSamples on; reordered, the n samples of
// channel c lie from element k * spanSamples * channelCount + c * n on.
struct StagedChannels {
    uint64_t channelCount = 0;
    uint64_t sampleCount = 0;
    uint32_t elementSize = 0;
    uint64_t spanSamples = 0;
    uint64_t spanCount = 0;
    bool* reordered = nullptr;
    uint64_t reorderedCount = 0;
    unsigned char* rows = nullptr;     // a span as the file holds it, sample after sample
    unsigned char* columns = nullptr;  // the same span channel after channel
    bool reorderingFailed = false;     // no further span is reordered
    bool damaged = false;              // a span could not be put back in rows
    bool guardsHeader = false;
    bool headerGuarded = false;
    unsigned char header[kGuardBytes] = {};
};

namespace {

// Bytes from one channel's run to the next in the channel-major buffer: a
// span's run plus one cache line, which keeps the pitch of long spans off
// the powers of two that make a transposed tile's rows compete for one cache
// set (see element_transpose.h).
constexpr size_t kColumnPadding = 64;
size_t columnPitch(const StagedChannels& staged) {
    return static_cast<size_t>(staged.spanSamples * staged.elementSize) + kColumnPadding;
}

size_t rowPitch(const StagedChannels& staged) {
    return static_cast<size_t>(staged.channelCount * staged.elementSize);
}

uint64_t samplesInSpan(const StagedChannels& staged, uint64_t span) {
    const uint64_t firstSample = span * staged.spanSamples;
    return std::min(staged.spanSamples, staged.sampleCount - firstSample);
}

uint64_t firstElementOfSpan(const StagedChannels& staged, uint64_t span) {
    return span * staged.spanSamples * staged.channelCount;
}

bool guardHeader(DiskArray& array, StagedChannels& staged) {
    if (!staged.guardsHeader || staged.headerGuarded) return true;
    const unsigned char zeros[kGuardBytes] = {};
    const FileHandle& file = array.Stream->file;
    if (!readAt(file, 0, staged.header, kGuardBytes) || !writeAt(file, 0, zeros, kGuardBytes)) {
        return false;
    }
    staged.headerGuarded = true;
    return true;
}

// Byte position of the span's first element in the file.
bool spanStart(const DiskArray& array, const StagedChannels& staged, uint64_t span,
               uint64_t& start) {
    return elementBytePosition(array.DataStart, firstElementOfSpan(staged, span),
                               staged.elementSize, start);
}

// Writes the span's channels over its rows, which `rows` still holds. When
// that fails, exactly the bytes it changed get their rows back: a failure
// that this mends costs no data, and the span is then moved directly.
Staging writeColumns(DiskArray& array, StagedChannels& staged, uint64_t span) {
    const size_t runBytes = static_cast<size_t>(samplesInSpan(staged, span) * staged.elementSize);
    uint64_t start = 0;
    if (!spanStart(array, staged, span, start)) return Staging::Failed;
    const FileHandle& file = array.Stream->file;
    size_t written = 0;
    if (writePiecesAt(file, start, staged.columns, runBytes, columnPitch(staged),
                      static_cast<size_t>(staged.channelCount), &written)) {
        return Staging::Reordered;
    }
    staged.reorderingFailed = true;
    if (!writeAt(file, start, staged.rows, written)) {
        staged.damaged = true;
        array.Stream->writeFailed = true;
        return Staging::Failed;
    }
    return Staging::Direct;
}

Staging stageSpan(DiskArray& array, StagedChannels& staged, uint64_t span) {
    if (staged.reordered[span]) return Staging::Reordered;
    if (staged.reorderingFailed) return staged.damaged ? Staging::Failed : Staging::Direct;
    const uint64_t samples = samplesInSpan(staged, span);
    const uint32_t elements = static_cast<uint32_t>(samples * staged.channelCount);
    if (readElementsDirect(array, firstElementOfSpan(staged, span), elements, staged.rows) !=
            static_cast<int>(elements) ||
        !guardHeader(array, staged)) {
        return Staging::Failed;
    }
    transposeElements(staged.rows, rowPitch(staged), samples, staged.channelCount,
                      staged.elementSize, staged.columns, columnPitch(staged));
    const Staging staging = writeColumns(array, staged, span);
    if (staging == Staging::Reordered) {
        staged.reordered[span] = true;
        ++staged.reorderedCount;
    }
    return staging;
}

bool putBackSpan(DiskArray& array, StagedChannels& staged, uint64_t span) {
    const uint64_t samples = samplesInSpan(staged, span);
    const uint64_t channels = staged.channelCount;
    // Reading every channel first also shows that the file still holds the
    // whole span, so that the rows cannot grow a file cut behind the layer.
    uint64_t start = 0;
    if (!spanStart(array, staged, span, start) ||
        !readPiecesAt(array.Stream->file, start, staged.columns,
                      static_cast<size_t>(samples * staged.elementSize), columnPitch(staged),
                      static_cast<size_t>(channels))) {
        return false;
    }
    transposeElements(staged.columns, columnPitch(staged), channels, samples, staged.elementSize,
                      staged.rows, rowPitch(staged));
    const uint32_t elements = static_cast<uint32_t>(samples * channels);
    if (writeElementsDirect(array, firstElementOfSpan(staged, span), elements, staged.rows) !=
        static_cast<int>(elements)) {
        return false;
    }
    staged.reordered[span] = false;
    --staged.reorderedCount;
    return true;
}

// The file must still hold every element that a direct transfer of the
// window would move: a file cut behind the layer's back fails such windows
// even where a reordered span would still hold them.
bool fileStillHolds(const DiskArray& array, const WindowSpan& span) {
    const uint64_t lastElement = span.firstElement + (uint64_t{span.count} - 1) * span.stride;
    uint64_t end = 0;
    uint64_t length = 0;
    return elementBytePosition(array.DataStart, lastElement + 1, array.ElementSize, end) &&
           fileLength(array.Stream->file, length) && length >= end;
}

// Calls move(part, sampleOffset) for the part of the window in each span it
// touches, after reordering the span where it can be: `part` addresses the
// channel's run in a reordered span, or its strided samples in a span left
// in rows. Stops at the first failure.
template <typename Move>
bool forEachSpanPart(DiskArray& array, StagedChannels& staged, const WindowSpan& span, Move move) {
    if (span.count == 0) return true;
    if (!fileStillHolds(array, span)) return false;
    const uint64_t channels = staged.channelCount;
    const uint64_t channel = span.firstElement % channels;
    const uint64_t firstSample = span.firstElement / channels;
    for (uint64_t done = 0; done < span.count;) {
        const uint64_t sample = firstSample + done;
        const uint64_t spanIndex = sample / staged.spanSamples;
        const uint64_t offset = sample - spanIndex * staged.spanSamples;
        const uint32_t count = static_cast<uint32_t>(
            std::min<uint64_t>(span.count - done, staged.spanSamples - offset));
        const Staging staging = stageSpan(array, staged, spanIndex);
        if (staging == Staging::Failed) return false;
        const WindowSpan part =
            staging == Staging::Reordered
                ? WindowSpan{firstElementOfSpan(staged, spanIndex) +
                                 channel * samplesInSpan(staged, spanIndex) + offset,
                             1, count}
                : WindowSpan{sample * channels + channel, channels, count};
        if (!move(part, done)) return false;
        done += count;
    }
    return true;
}

}  // namespace

StagedChannels* createStagedChannels(DiskArray& array, uint64_t channelCount,
                                     uint64_t requestedSpanSamples, bool guardsHeader) {
    const uint64_t elementSize = array.ElementSize;
    const uint64_t rowBytes = channelCount * elementSize;
    // The spans are reordered in the file itself, so a file that is only
    // read is read directly.
    if ((array.Flags & kDiskArrayWritable) == 0 || channelCount < 2 || elementSize == 0 ||
        array.ElementCount % channelCount != 0 ||
        rowBytes > kStagedSpanBytes / kMinimumSpanSamples) {
        return nullptr;
    }
    const uint64_t spanSamples =
        requestedSpanSamples != 0 ? requestedSpanSamples : kStagedSpanBytes / rowBytes;
    if (spanSamples < kMinimumSpanSamples) return nullptr;
    StagedChannels* staged = new (std::nothrow) StagedChannels;
    if (staged == nullptr) return nullptr;
    staged->channelCount = channelCount;
    staged->sampleCount = array.ElementCount / channelCount;
    staged->elementSize = static_cast<uint32_t>(elementSize);
    staged->spanSamples = std::min(staged->sampleCount, spanSamples);
    staged->spanCount = (staged->sampleCount + staged->spanSamples - 1) / staged->spanSamples;
    staged->guardsHeader = guardsHeader && array.DataStart >= kGuardBytes;
    staged->reordered = new (std::nothrow) bool[staged->spanCount]();
    staged->rows = new (std::nothrow) unsigned char[staged->spanSamples * rowPitch(*staged)];
    staged->columns = new (std::nothrow) unsigned char[channelCount * columnPitch(*staged)];
    if (staged->reordered == nullptr || staged->rows == nullptr || staged->columns == nullptr) {
        releaseStagedChannels(staged);
        return nullptr;
    }
    return staged;
}

void releaseStagedChannels(StagedChannels* staged) {
    if (staged == nullptr) return;
    delete[] staged->reordered;
    delete[] staged->rows;
    delete[] staged->columns;
    delete staged;
}

bool readStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                      const SampleConversion& conversion, float* samples) {
    return forEachSpanPart(array, staged, span, [&](const WindowSpan& part, uint64_t offset) {
        return readWindowDirect(array, part, conversion, samples + offset);
    });
}

bool writeStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                       const SampleConversion& conversion, const float* samples) {
    if ((array.Flags & kDiskArrayWritable) == 0) return false;
    return forEachSpanPart(array, staged, span, [&](const WindowSpan& part, uint64_t offset) {
        return writeWindowDirect(array, part, conversion, samples + offset);
    });
}

bool writeBackStagedChannels(DiskArray& array, StagedChannels& staged) {
    for (uint64_t span = 0; span < staged.spanCount && staged.reorderedCount > 0; ++span) {
        if (staged.reordered[span] && !putBackSpan(array, staged, span)) staged.damaged = true;
    }
    if (staged.damaged || staged.reorderedCount > 0) return false;
    if (staged.headerGuarded) {
        if (!writeAt(array.Stream->file, 0, staged.header, kGuardBytes)) {
            array.Stream->writeFailed = true;
            return false;
        }
        staged.headerGuarded = false;
    }
    return true;
}

}  // namespace ctc

#include "ctc/staged_channels.h"

#include <algorithm>
#include <new>
#include <utility>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/element_transpose.h"

namespace ctc {

namespace {

enum SpanState : uint8_t { kNotStaged = 0, kStaged = 1, kChanged = 2 };

enum class Staging { Held, NotHeld, FileFailed };

// Each channel's run in the copy, and where they are long enough each
// channel's part of a span, start on a multiple of this many bytes: the
// copy's transfers then cover whole pages and whole large blocks of the page
// cache, which makes them and the copy's release markedly cheaper than
// transfers that straddle pages.
constexpr uint64_t kAlignmentBytes = 64 * 1024;

uint64_t roundedUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

}  // namespace

struct StagedChannels {
    DiskArray scratch = {};  // element (channel, sample) at channel * channelPitch + sample
    uint64_t channelCount = 0;
    uint64_t sampleCount = 0;
    uint64_t channelPitch = 0;  // sampleCount rounded up to whole alignment units
    uint32_t elementSize = 0;
    uint64_t spanSamples = 0;  // span k holds samples k * spanSamples on
    uint64_t spanCount = 0;
    uint8_t* spanState = nullptr;
    unsigned char* rows = nullptr;     // a span as the file holds it, sample after sample
    unsigned char* columns = nullptr;  // the same span channel after channel
    bool scratchFailed = false;        // no further span is staged
};

namespace {

// Bytes from one channel's run to the next in the channel-major buffer: a
// span's run plus one cache line, which keeps the pitch of long spans (whole
// alignment units) off the powers of two that make a transposed tile's rows
// compete for one cache set (see element_transpose.h).
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

// Copies span `span` of the file into the scratch file.
Staging stageSpan(DiskArray& array, StagedChannels& staged, uint64_t span) {
    if (staged.spanState[span] != kNotStaged) return Staging::Held;
    if (staged.scratchFailed) return Staging::NotHeld;
    const uint64_t firstSample = span * staged.spanSamples;
    const uint64_t samples = samplesInSpan(staged, span);
    const uint64_t channels = staged.channelCount;
    const uint32_t elements = static_cast<uint32_t>(samples * channels);
    if (readElementsDirect(array, firstSample * channels, elements, staged.rows) !=
        static_cast<int>(elements)) {
        return Staging::FileFailed;
    }
    transposeElements(staged.rows, rowPitch(staged), samples, channels, staged.elementSize,
                      staged.columns, columnPitch(staged));
    for (uint64_t channel = 0; channel < channels; ++channel) {
        if (writeElementsDirect(staged.scratch, channel * staged.channelPitch + firstSample,
                                static_cast<uint32_t>(samples),
                                staged.columns + channel * columnPitch(staged)) !=
            static_cast<int>(samples)) {
            // The file still holds the span as it is; it is moved directly.
            staged.scratchFailed = true;
            return Staging::NotHeld;
        }
    }
    staged.spanState[span] = kStaged;
    return Staging::Held;
}

bool writeBackSpan(DiskArray& array, StagedChannels& staged, uint64_t span) {
    const uint64_t firstSample = span * staged.spanSamples;
    const uint64_t samples = samplesInSpan(staged, span);
    const uint64_t channels = staged.channelCount;
    for (uint64_t channel = 0; channel < channels; ++channel) {
        if (readElementsDirect(staged.scratch, channel * staged.channelPitch + firstSample,
                               static_cast<uint32_t>(samples),
                               staged.columns + channel * columnPitch(staged)) !=
            static_cast<int>(samples)) {
            return false;
        }
    }
    transposeElements(staged.columns, columnPitch(staged), channels, samples, staged.elementSize,
                      staged.rows, rowPitch(staged));
    const uint32_t elements = static_cast<uint32_t>(samples * channels);
    if (writeElementsDirect(array, firstSample * channels, elements, staged.rows) !=
        static_cast<int>(elements)) {
        return false;
    }
    staged.spanState[span] = kStaged;
    return true;
}

// The file must still hold every element that a direct transfer of the
// window would move: a file cut behind the layer's back fails such windows
// even where the copy still holds them.
bool fileStillHolds(const DiskArray& array, const WindowSpan& span) {
    const uint64_t lastElement = span.firstElement + (uint64_t{span.count} - 1) * span.stride;
    uint64_t end = 0;
    uint64_t length = 0;
    return elementBytePosition(array.DataStart, lastElement + 1, array.ElementSize, end) &&
           fileLength(array.Stream->file, length) && length >= end;
}

// Calls move(heldSpans, window, copyWindow, sampleOffset) for the parts of
// the window in turn, after staging each span it touches where it can be: a
// part is either a run of consecutive held spans, moved in one transfer of
// the copy, or one span that is not held, moved directly. `window` addresses
// the part in the file, `copyWindow` in the copy (valid only when held);
// heldSpans is the run's first span state, or null. Stops at the first
// failure.
template <typename Move>
bool forEachSpanPart(DiskArray& array, StagedChannels& staged, const WindowSpan& span, Move move) {
    if (span.count == 0) return true;
    if (!fileStillHolds(array, span)) return false;
    const uint64_t channels = staged.channelCount;
    const uint64_t channel = span.firstElement % channels;
    const uint64_t firstSample = span.firstElement / channels;
    const auto part = [&](uint64_t done, uint64_t count) {
        const uint64_t sample = firstSample + done;
        return std::make_pair(
            WindowSpan{sample * channels + channel, channels, static_cast<uint32_t>(count)},
            WindowSpan{channel * staged.channelPitch + sample, 1, static_cast<uint32_t>(count)});
    };
    uint64_t heldFrom = 0;  // the run of held spans covers [heldFrom, done)
    uint64_t done = 0;
    const auto moveHeld = [&]() {
        if (heldFrom == done) return true;
        const auto [inFile, inCopy] = part(heldFrom, done - heldFrom);
        return move(&staged.spanState[(firstSample + heldFrom) / staged.spanSamples], inFile,
                    inCopy, heldFrom);
    };
    while (done < span.count) {
        const uint64_t sample = firstSample + done;
        const uint64_t spanIndex = sample / staged.spanSamples;
        const uint64_t spanEnd = (spanIndex + 1) * staged.spanSamples;
        const uint64_t count = std::min<uint64_t>(span.count - done, spanEnd - sample);
        const Staging staging = stageSpan(array, staged, spanIndex);
        if (staging == Staging::FileFailed) return false;
        if (staging == Staging::NotHeld) {
            if (!moveHeld()) return false;
            const auto [inFile, inCopy] = part(done, count);
            if (!move(nullptr, inFile, inCopy, done)) return false;
            heldFrom = done + count;
        }
        done += count;
    }
    return moveHeld();
}

// The number of spans that a part of the copy, `copyWindow`, reaches into.
uint64_t spansOfPart(const StagedChannels& staged, const WindowSpan& copyWindow) {
    const uint64_t first = copyWindow.firstElement % staged.channelPitch;
    const uint64_t last = first + copyWindow.count - 1;
    return last / staged.spanSamples - first / staged.spanSamples + 1;
}

bool isWritable(const DiskArray& array) {
    return (array.Flags & kDiskArrayWritable) != 0;
}

}  // namespace

StagedChannels* createStagedChannels(DiskArray& array, uint64_t channelCount,
                                     uint64_t requestedSpanSamples) {
    const uint64_t elementSize = array.ElementSize;
    const uint64_t rowBytes = channelCount * elementSize;
    if (channelCount < 2 || elementSize == 0 || array.ElementCount % channelCount != 0 ||
        rowBytes > kStagedSpanBytes / kMinimumSpanSamples) {
        return nullptr;
    }
    uint64_t spanSamples =
        requestedSpanSamples != 0 ? requestedSpanSamples : kStagedSpanBytes / rowBytes;
    if (spanSamples < kMinimumSpanSamples) return nullptr;
    StagedChannels* staged = new (std::nothrow) StagedChannels;
    if (staged == nullptr) return nullptr;
    staged->channelCount = channelCount;
    staged->sampleCount = array.ElementCount / channelCount;
    staged->elementSize = static_cast<uint32_t>(elementSize);
    staged->channelPitch = roundedUp(staged->sampleCount, kAlignmentBytes / elementSize);
    if (spanSamples * elementSize >= kAlignmentBytes) {
        spanSamples =
            spanSamples / (kAlignmentBytes / elementSize) * (kAlignmentBytes / elementSize);
    }
    staged->spanSamples = std::min(staged->sampleCount, spanSamples);
    staged->spanCount = (staged->sampleCount + staged->spanSamples - 1) / staged->spanSamples;
    staged->spanState = new (std::nothrow) uint8_t[staged->spanCount]();
    staged->rows = new (std::nothrow) unsigned char[staged->spanSamples * rowPitch(*staged)];
    staged->columns = new (std::nothrow) unsigned char[channelCount * columnPitch(*staged)];
    const uint32_t typeCode = (array.Flags >> kDiskArrayTypeShift) & 0xFF;
    if (staged->spanState == nullptr || staged->rows == nullptr || staged->columns == nullptr ||
        openScratchArray(staged->scratch, array.Stream->directory,
                         channelCount * staged->channelPitch, typeCode) != 1) {
        releaseStagedChannels(staged);
        return nullptr;
    }
    return staged;
}

void releaseStagedChannels(StagedChannels* staged) {
    if (staged == nullptr) return;
    // The scratch file only ever held a copy: its close has nothing to report.
    closeArrayStream(staged->scratch);
    delete[] staged->spanState;
    delete[] staged->rows;
    delete[] staged->columns;
    delete staged;
}

bool readStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                      const SampleConversion& conversion, float* samples) {
    return forEachSpanPart(
        array, staged, span,
        [&](uint8_t* heldSpans, const WindowSpan& inFile, const WindowSpan& inCopy,
            uint64_t offset) {
            return heldSpans != nullptr
                       ? readWindowDirect(staged.scratch, inCopy, conversion, samples + offset)
                       : readWindowDirect(array, inFile, conversion, samples + offset);
        });
}

bool writeStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                       const SampleConversion& conversion, const float* samples) {
    if (!isWritable(array)) return false;
    return forEachSpanPart(
        array, staged, span,
        [&](uint8_t* heldSpans, const WindowSpan& inFile, const WindowSpan& inCopy,
            uint64_t offset) {
            if (heldSpans == nullptr) {
                return writeWindowDirect(array, inFile, conversion, samples + offset);
            }
            // Even a partly failed write may have changed the copy.
            std::fill_n(heldSpans, spansOfPart(staged, inCopy), uint8_t{kChanged});
            if (writeWindowDirect(staged.scratch, inCopy, conversion, samples + offset)) {
                return true;
            }
            array.Stream->writeFailed = true;
            return false;
        });
}

bool writeBackStagedChannels(DiskArray& array, StagedChannels& staged) {
    bool allWritten = true;
    for (uint64_t span = 0; span < staged.spanCount; ++span) {
        if (staged.spanState[span] == kChanged && !writeBackSpan(array, staged, span)) {
            allWritten = false;
        }
    }
    return allWritten;
}

void forgetStagedElements(StagedChannels& staged, uint64_t firstElement, uint64_t count) {
    if (count == 0) return;
    const uint64_t firstSpan = firstElement / staged.channelCount / staged.spanSamples;
    const uint64_t lastSpan =
        std::min(staged.spanCount - 1,
                 (firstElement + count - 1) / staged.channelCount / staged.spanSamples);
    for (uint64_t span = firstSpan; span <= lastSpan; ++span) staged.spanState[span] = kNotStaged;
}

}  // namespace ctc

#include "hostprogram/recordings/ctc_channel_restore.h"

#include <algorithm>
#include <cstdint>

#include "ctc/ctc_format.h"
#include "ctc/file_handle.h"
#include "hostprogram/recordings/ctc_reader.h"

namespace {

bool sameLayout(const CtcHeader& a, const CtcHeader& b) {
    return a.dataType == b.dataType && a.sampleOrdering == b.sampleOrdering &&
           a.nrOfChannels == b.nrOfChannels && a.nrOfSamples == b.nrOfSamples &&
           a.headerLength == b.headerLength;
}

constexpr std::size_t kPieceBytes = std::size_t{1} << 22;

}  // namespace

bool restoreCtcChannels(const std::string& inputPath, const std::string& correctedPath,
                        const std::vector<int>& channels, std::string& error) {
    CtcHeader input, corrected;
    if (!readCtcHeader(inputPath, input, error) ||
        !checkCtcSamplesReadable(inputPath, input, error) ||
        !readCtcHeader(correctedPath, corrected, error) ||
        !checkCtcSamplesReadable(correctedPath, corrected, error))
        return false;
    if (!sameLayout(input, corrected)) {
        error = correctedPath + ": not laid out as " + inputPath;
        return false;
    }
    for (int channel : channels)
        if (channel < 0 || static_cast<uint32_t>(channel) >= input.nrOfChannels) {
            error = inputPath + ": has no channel " + std::to_string(channel + 1);
            return false;
        }
    ctc::FileHandle from, to;
    const bool fromOpen = ctc::openExistingFile(inputPath.c_str(), ctc::FileAccess::ReadOnly, from);
    if (!fromOpen ||
        !ctc::openExistingFile(correctedPath.c_str(), ctc::FileAccess::ReadWrite, to)) {
        error = (fromOpen ? correctedPath : inputPath) + ": cannot be opened";
        return false;
    }
    const uint64_t element = ctcElementSize(input.dataType);
    const uint64_t samples = input.nrOfSamples, channelCount = input.nrOfChannels;
    std::vector<unsigned char> piece;
    bool moved = true;
    if (input.sampleOrdering == ctc::kOrderingChannelMajor) {
        // A channel's elements lie together.
        for (int channel : channels) {
            const uint64_t start =
                input.headerLength + static_cast<uint64_t>(channel) * samples * element;
            for (uint64_t done = 0; moved && done < samples * element; done += piece.size()) {
                piece.resize(static_cast<std::size_t>(
                    std::min<uint64_t>(kPieceBytes, samples * element - done)));
                moved = ctc::readAt(from, start + done, piece.data(), piece.size()) &&
                        ctc::writeAt(to, start + done, piece.data(), piece.size());
            }
        }
    } else {
        // Every frame holds one element of each channel: frames are read
        // from both files and the channels' elements moved across.
        const uint64_t frame = channelCount * element;
        const uint64_t framesPerPiece = std::max<uint64_t>(1, kPieceBytes / frame);
        std::vector<unsigned char> target;
        for (uint64_t first = 0; moved && first < samples; first += framesPerPiece) {
            const uint64_t count = std::min(framesPerPiece, samples - first);
            const uint64_t offset = input.headerLength + first * frame;
            piece.resize(static_cast<std::size_t>(count * frame));
            target.resize(piece.size());
            moved = ctc::readAt(from, offset, piece.data(), piece.size()) &&
                    ctc::readAt(to, offset, target.data(), target.size());
            for (uint64_t s = 0; moved && s < count; ++s)
                for (int channel : channels) {
                    const std::size_t at = static_cast<std::size_t>(
                        s * frame + static_cast<uint64_t>(channel) * element);
                    std::copy_n(piece.begin() + static_cast<std::ptrdiff_t>(at), element,
                                target.begin() + static_cast<std::ptrdiff_t>(at));
                }
            moved = moved && ctc::writeAt(to, offset, target.data(), target.size());
        }
    }
    // The close of the written file is where a delayed write error shows.
    moved = ctc::closeFile(to) && moved;
    if (!moved) {
        error =
            correctedPath + ": the uncorrected channels could not be copied back from " + inputPath;
        return false;
    }
    return true;
}

#include "obs/obs_correction.h"

#include "host/host_log.h"
#include "obs/obs_segment.h"

#ifdef KORU_PROFILE
#include <chrono>
#endif

int32_t obsSegmentCount(int32_t N, int32_t A) {
    int32_t segments = N / A;
    if (segments * A < N) segments = segments + 1;
    return segments;
}

bool correctChannels(CtcFile& file, OffsetIntVector T, int32_t N, const ObsSettings& settings,
                     OffsetVector w) {
#ifdef KORU_PROFILE
    const auto profileStart = std::chrono::steady_clock::now();
#endif
    const int32_t A = settings.artifactsPerSegment;
    const int32_t segments = obsSegmentCount(N, A);
    logFormatted("// KORUSuite> Resulting number of segments: %i", segments);
    repaintHost();

    ObsWorkspace workspace(settings);
    // The channel count is a signed count here: a header value beyond the
    // signed range means no channel at all.
    const int32_t channels = static_cast<int32_t>(file.NrOfChannels);
    bool transfersSucceeded = true;
    for (int32_t channel = 0; channel < channels && transfersSucceeded; ++channel) {
        logLine("");
        logLine("");
        for (int32_t segment = 1; segment <= segments; ++segment) {
            logFormatted("// KORUSuite>>>>>> Processing segment %i/%i of channel %i / %i  ...",
                         segment, segments, channel + 1, channels);
            repaintHost();
            if (!correctSegment(workspace, file, channel, (segment - 1) * A, T, N, settings, w)) {
                transfersSucceeded = false;
                break;
            }
        }
    }
#ifdef KORU_PROFILE
    printSegmentProfile(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - profileStart).count());
#endif
    return transfersSucceeded;
}

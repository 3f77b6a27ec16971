// The correction of a whole file in place, with this test as the host:
// windows of 5 samples before and 10 after every trigger, checked against an
// independent double-precision formulation; and the work storage's limits.

#include "obs/obs_correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include "host/host_api.h"
#include "obs/obs_workspace.h"
#include "obs_reference_correction.h"
#include "obs_test_support.h"

namespace {

constexpr int32_t kPre = 5, kPost = 10, kLength = 16;
// Single precision against double, relative to the largest samples (about 300).
constexpr double kTolerance = 0.03;

// Small noise with a strong artifact of rank three at every trigger: each
// occurrence mixes three fixed shapes with weights of its own.
TestRecording artifactRecording(int channels, int samples, const std::vector<int32_t>& triggers,
                                unsigned seed, uint32_t ordering = 1) {
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::uniform_real_distribution<float> weight(0.5f, 2.0f);
    TestRecording recording;
    recording.sampleOrdering = ordering;
    recording.channels.assign(static_cast<std::size_t>(channels),
                              std::vector<float>(static_cast<std::size_t>(samples)));
    for (int c = 0; c < channels; ++c) {
        std::vector<float>& channel = recording.channels[static_cast<std::size_t>(c)];
        for (float& sample : channel) sample = 20.0f + noise(random);
        for (int32_t trigger : triggers) {
            const float w1 = 100.0f * weight(random), w2 = 40.0f * weight(random),
                        w3 = 15.0f * weight(random);
            for (int32_t i = -kPre; i <= kPost; ++i) {
                const int64_t s = static_cast<int64_t>(trigger) + i;
                if (s < 0 || s >= samples) continue;
                const float x = static_cast<float>(i + kPre) / kLength;
                channel[static_cast<std::size_t>(s)] += w1 * std::sin(6.2831853f * x) +
                                                        w2 * std::cos(12.566371f * x) +
                                                        w3 * (x - 0.5f) * (x - 0.5f) * (c + 1);
            }
        }
    }
    return recording;
}

std::vector<double> windowOf(const std::vector<float>& channel, int32_t trigger) {
    return std::vector<double>(channel.begin() + trigger - kPre,
                               channel.begin() + trigger + kPost + 1);
}

double meanOf(const std::vector<double>& window) {
    return std::accumulate(window.begin(), window.end(), 0.0) / kLength;
}

// Every sample outside the windows of `triggers` keeps its value bit for bit.
void expectUnchangedOutside(const std::vector<float>& corrected, const std::vector<float>& raw,
                            const std::vector<int32_t>& triggers) {
    std::vector<bool> inWindow(raw.size(), false);
    for (int32_t trigger : triggers)
        for (int32_t i = -kPre; i <= kPost; ++i)
            inWindow[static_cast<std::size_t>(trigger + i)] = true;
    for (std::size_t s = 0; s < raw.size(); ++s)
        if (!inWindow[s]) {
            ASSERT_EQ(corrected[s], raw[s]) << "sample " << s;
        }
}

// The first operand of every product the correction asked for: the
// segment's windows with their means removed, one row per occurrence.
std::vector<std::vector<double>> operands;

// The only product the correction asks for is C = A * A^T.
void recordedProduct(const double* A, const double* B, double* C, int m, int n, int k, bool transA,
                     bool transB) {
    ASSERT_TRUE(A == B && m == n && !transA && transB);
    operands.emplace_back(A, A + static_cast<long>(m) * k);
    productWithTranspose(A, C, m, k);
}

class Correction : public ::testing::Test {
public:
    Correction() {
        HostApi.ztLogText = [](const char*) {};
        HostApi.ztUpdateActiveWindow = [] {};
        HostApi.zt_intel_matrix_matrix_mult_d = recordedProduct;
        operands.clear();
    }

    // `raw` corrected in place with A = `artifacts`, K = `components`.
    TestRecording correct(const TestRecording& raw, const std::vector<int32_t>& triggers,
                          int artifacts = 10, int components = 2) {
        const std::string path = folder.file("recording.ctc");
        writeTestRecording(path, raw);
        CtcFile file{};
        EXPECT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<int32_t> T = triggers;
        std::vector<float> w(kLength);
        EXPECT_TRUE(correctChannels(file, {T.data(), 0}, static_cast<int32_t>(T.size()),
                                    {kPre, kPost, artifacts, components}, {w.data(), 0}));
        EXPECT_EQ(closeCtcFile(file), 1);
        return readTestRecording(path);
    }

    TemporaryFolder folder;
};

// For both continuous orderings, and for the recording stored in volts (every
// sample times 1e-6): each written window is the reference's and keeps its
// mean, every sample outside the windows keeps its value and a channel of
// zeros stays zero.
TEST_F(Correction, AgreesWithDoublePrecisionReference) {
    const std::vector<int32_t> triggers = positionsFrom(20, 30, 25);
    const std::pair<uint32_t, float> variants[] = {{1, 1.0f}, {2, 1.0f}, {1, 1e-6f}};
    for (const auto& [ordering, scale] : variants) {
        SCOPED_TRACE(testing::Message() << "ordering " << ordering << " scale " << scale);
        TestRecording raw = artifactRecording(3, 560, triggers, 11, ordering);
        for (float& x : raw.channels[0]) x *= scale;
        for (float& x : raw.channels[1]) x *= scale;
        std::fill(raw.channels[2].begin(), raw.channels[2].end(), 0.0f);
        const TestRecording corrected = correct(raw, triggers, 10, 3);
        EXPECT_EQ(corrected.channels[2], raw.channels[2]);
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t first = 0; first < triggers.size(); first += 10) {
                Windows rawRows, writtenRows;
                for (std::size_t t = first; t < first + 10; ++t) {
                    rawRows.push_back(windowOf(raw.channels[c], triggers[t]));
                    writtenRows.push_back(windowOf(corrected.channels[c], triggers[t]));
                }
                const Windows expected = referenceCorrection(rawRows, 3);
                for (std::size_t j = 0; j < expected.size(); ++j) {
                    for (std::size_t i = 0; i < kLength; ++i)
                        ASSERT_NEAR(writtenRows[j][i], expected[j][i], kTolerance * scale)
                            << "channel " << c << " occurrence " << first + j << " sample " << i;
                    EXPECT_NEAR(meanOf(writtenRows[j]), meanOf(rawRows[j]),
                                kTolerance * scale / 100);
                }
            }
            expectUnchangedOutside(corrected.channels[c], raw.channels[c], triggers);
        }
    }
}

// N = 25 with A = 10: three segments per channel; the last one fills rows
// 5..9 with occurrences 15..19, read as segment 2 wrote them, and writes only
// occurrences 20..24.
TEST_F(Correction, LastSegmentReadsFillerRowsAsThePreviousSegmentWroteThem) {
    const std::vector<int32_t> triggers = positionsFrom(25, 20, 20);
    const TestRecording raw = artifactRecording(2, 530, triggers, 5);
    const TestRecording full = correct(raw, triggers);
    ASSERT_EQ(operands.size(), 6u);
    const std::vector<double> lastSegment = operands[2];
    for (std::size_t row = 5; row < 10; ++row) {
        const std::vector<double> written = windowOf(full.channels[0], triggers[10 + row]);
        float mean = 0.0f;
        for (double x : written) mean += static_cast<float>(x);
        mean /= static_cast<float>(kLength);
        for (std::size_t i = 0; i < kLength; ++i)
            ASSERT_EQ(lastSegment[row * kLength + i],
                      static_cast<double>(static_cast<float>(written[i]) - mean))
                << "row " << row << " sample " << i;
    }

    // Occurrences 0..19 end exactly as without the last segment; 20..24 change.
    const TestRecording shorter = correct(raw, {triggers.begin(), triggers.begin() + 20});
    for (std::size_t t = 0; t < 25; ++t) {
        const std::vector<double> window = windowOf(full.channels[0], triggers[t]);
        if (t < 20)
            EXPECT_EQ(window, windowOf(shorter.channels[0], triggers[t])) << t;
        else
            EXPECT_NE(window, windowOf(raw.channels[0], triggers[t])) << t;
    }
}

// Windows that reach one sample beyond either end stay as they were and add
// a zero row; windows that just fit are corrected.
TEST_F(Correction, WindowsOutOfBoundsAreLeftAloneAndGiveZeroRows) {
    // Occurrence 0 starts at -1, 1 at 0; 8 ends at the last sample, 9 one beyond.
    std::vector<int32_t> triggers = {4, 5, 40, 80, 120, 160, 200, 240, 289, 290};
    const TestRecording raw = artifactRecording(1, 300, triggers, 9);
    const TestRecording corrected = correct(raw, triggers);
    ASSERT_EQ(operands.size(), 1u);
    const std::vector<double>& rows = operands[0];
    const std::vector<double> zeros(kLength, 0.0);
    EXPECT_EQ(std::vector<double>(rows.begin(), rows.begin() + kLength), zeros);
    EXPECT_EQ(std::vector<double>(rows.end() - kLength, rows.end()), zeros);
    EXPECT_NE(windowOf(corrected.channels[0], 5), windowOf(raw.channels[0], 5));
    EXPECT_NE(windowOf(corrected.channels[0], 289), windowOf(raw.channels[0], 289));
    expectUnchangedOutside(corrected.channels[0], raw.channels[0],
                           {triggers.begin() + 1, triggers.begin() + 9});

    // Every window out of bounds: starting at -3, or triggers at the ends of
    // the integer range.
    triggers = std::vector<int32_t>(10, 2);
    triggers[3] = std::numeric_limits<int32_t>::min();
    triggers[7] = std::numeric_limits<int32_t>::max();
    const TestRecording untouched = artifactRecording(1, 100, triggers, 2);
    EXPECT_EQ(correct(untouched, triggers).channels, untouched.channels);
}

// Where two windows overlap, the samples end with the values of the one
// written later, the later row, whether it lies later or earlier in time.
TEST_F(Correction, OverlappingWindowsEndWithTheLaterRowsValues) {
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "occurrences in descending order" : "in ascending order");
        std::vector<int32_t> triggers = positionsFrom(10, 20, 25);
        triggers[4] = triggers[3] + 8;  // windows 3 and 4 share 8 samples
        const int32_t firstShared = triggers[4] - kPre, endShared = triggers[3] + kPost + 1;
        if (reversed) std::reverse(triggers.begin(), triggers.end());
        // Descending, the later row holds the occurrence earlier in time.
        const std::size_t laterRow = reversed ? 6 : 4, earlierRow = reversed ? 5 : 3;
        const TestRecording raw = artifactRecording(1, 300, triggers, 13);
        Windows rows;
        for (int32_t trigger : triggers) rows.push_back(windowOf(raw.channels[0], trigger));
        const Windows expected = referenceCorrection(rows, 1);
        const auto valueOf = [&](std::size_t row, int32_t s) {
            return expected[row][static_cast<std::size_t>(s - triggers[row] + kPre)];
        };
        const TestRecording corrected = correct(raw, triggers, 10, 1);
        bool distinguishable = false;
        for (int32_t s = firstShared; s < endShared; ++s) {
            EXPECT_NEAR(corrected.channels[0][static_cast<std::size_t>(s)], valueOf(laterRow, s),
                        kTolerance)
                << s;
            distinguishable |= std::fabs(valueOf(laterRow, s) - valueOf(earlierRow, s)) > 0.3;
        }
        EXPECT_TRUE(distinguishable);
        expectUnchangedOutside(corrected.channels[0], raw.channels[0], triggers);
    }
}

TEST(ObsWorkspaceCheck, ElementCountsAtTheirLimits) {
    EXPECT_TRUE(obsWorkspaceCountsFit(46340, 1));
    EXPECT_FALSE(obsWorkspaceCountsFit(46341, 1));  // A*A
    EXPECT_TRUE(obsWorkspaceCountsFit(214, 10034970));
    EXPECT_FALSE(obsWorkspaceCountsFit(214, 10034971));  // A*L
    EXPECT_FALSE(obsWorkspaceCountsFit(0, 10));
    EXPECT_FALSE(obsWorkspaceCountsFit(10, 0));
}

}  // namespace

// The correction of a recording in place, against a host whose log and
// double-precision product are stand-ins of the test's own.

#include "obs/obs_correction.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "obs_reference_correction.h"
#include "obs_test_support.h"

namespace {

// What the stand-in host saw.
std::vector<std::string> loggedLines;
std::vector<std::vector<double>> productInputs;  // D of every product call
std::string truncateOnLine;                      // cut the output when this line is logged
std::string truncatePath;

void standInLog(const char* text) {
    loggedLines.push_back(text);
    if (!truncateOnLine.empty() && truncateOnLine == text) {
        if (truncate(truncatePath.c_str(), 32) != 0) ADD_FAILURE() << "cannot cut the output";
    }
}

void standInRepaint() {}

void standInProduct(const double* A, const double* B, double* C, int m, int n, int k, bool transA,
                    bool transB) {
    ASSERT_TRUE(A == B && m == n && !transA && transB);
    productInputs.emplace_back(A, A + static_cast<long>(m) * k);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int r = 0; r < k; ++r) sum += A[i * k + r] * B[j * k + r];
            C[i * n + j] = sum;
        }
}

struct Settings {
    std::vector<int32_t> triggers;
    int32_t pre = 5;
    int32_t post = 10;
    int32_t A = 10;
    int32_t K = 2;
    int32_t length() const { return pre + post + 1; }
};

// A recording of small noise with a strong artifact of rank three at every
// trigger: each occurrence mixes three fixed shapes with its own weights.
TestRecording artifactRecording(int channels, int samples, const Settings& settings, unsigned seed,
                                uint32_t ordering = 1) {
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
        for (int32_t trigger : settings.triggers) {
            const float w1 = 100.0f * weight(random), w2 = 40.0f * weight(random),
                        w3 = 15.0f * weight(random);
            for (int32_t i = -settings.pre; i <= settings.post; ++i) {
                const int64_t s = static_cast<int64_t>(trigger) + i;
                if (s < 0 || s >= samples) continue;
                const float x = static_cast<float>(i + settings.pre) / settings.length();
                channel[static_cast<std::size_t>(s)] += w1 * std::sin(6.2831853f * x) +
                                                        w2 * std::cos(12.566371f * x) +
                                                        w3 * (x - 0.5f) * (x - 0.5f) * (c + 1);
            }
        }
    }
    return recording;
}

std::vector<int32_t> evenlySpaced(int count, int32_t first, int32_t spacing) {
    std::vector<int32_t> triggers;
    for (int t = 0; t < count; ++t) triggers.push_back(first + t * spacing);
    return triggers;
}

std::vector<double> windowOf(const std::vector<float>& channel, int32_t trigger,
                             const Settings& settings) {
    std::vector<double> window;
    for (int32_t i = -settings.pre; i <= settings.post; ++i)
        window.push_back(channel[static_cast<std::size_t>(trigger + i)]);
    return window;
}

// Marks the samples of the windows of the given occurrences.
std::vector<bool> windowMask(std::size_t samples, const Settings& settings, std::size_t first,
                             std::size_t end) {
    std::vector<bool> inWindow(samples, false);
    for (std::size_t t = first; t < end; ++t)
        for (int32_t i = -settings.pre; i <= settings.post; ++i)
            inWindow[static_cast<std::size_t>(settings.triggers[t] + i)] = true;
    return inWindow;
}

void expectUnchangedOutside(const std::vector<float>& corrected, const std::vector<float>& raw,
                            const std::vector<bool>& inWindow) {
    for (std::size_t s = 0; s < inWindow.size(); ++s)
        if (!inWindow[s]) {
            ASSERT_EQ(corrected[s], raw[s]) << "sample " << s;
        }
}

double largestMagnitude(const TestRecording& recording) {
    double largest = 0.0;
    for (const auto& channel : recording.channels)
        for (float x : channel) largest = std::max(largest, std::fabs(static_cast<double>(x)));
    return largest;
}

// The trigger array and window buffer the correction routines take.
struct CorrectionArrays {
    explicit CorrectionArrays(const Settings& settings)
        : count(static_cast<int32_t>(settings.triggers.size())),
          length(settings.length()),
          T(ivector(0, count - 1)),
          w(vector(0, length - 1)) {
        for (int32_t t = 0; t < count; ++t) T[t] = settings.triggers[static_cast<std::size_t>(t)];
    }
    ~CorrectionArrays() {
        release_vector(w, 0, length - 1);
        release_ivector(T, 0, count - 1);
    }
    int32_t count, length;
    OffsetIntVector T;
    OffsetVector w;
};

class Correction : public ::testing::Test {
protected:
    void SetUp() override {
        loggedLines.clear();
        productInputs.clear();
        truncateOnLine.clear();
        truncatePath = path();
        HostApi.ztLogText = standInLog;
        HostApi.ztUpdateActiveWindow = standInRepaint;
        HostApi.zt_intel_matrix_matrix_mult_d = standInProduct;
    }

    std::string path() const { return folder.file("recording.ctc"); }

    // Writes the recording and corrects it in place; true when the
    // correction and the close both succeeded.
    bool correctFile(const TestRecording& recording, const Settings& settings) {
        writeTestRecording(path(), recording);
        CtcFile file;
        EXPECT_EQ(openCtcFile(file, path().c_str(), kCtcOpenInPlace), 1);
        CorrectionArrays arrays(settings);
        const bool result = correctChannels(file, arrays.T, arrays.count, settings.pre,
                                            settings.post, settings.A, settings.K, arrays.w);
        return closeCtcFile(file) == 1 && result;
    }

    TestRecording correct(const TestRecording& recording, const Settings& settings) {
        EXPECT_TRUE(correctFile(recording, settings));
        return readTestRecording(path());
    }

    TemporaryFolder folder;
};

class CorrectionOfEachOrdering : public Correction,
                                 public ::testing::WithParamInterface<uint32_t> {};

// Against the independent double-precision formulation, for both continuous
// orderings; also: each written window keeps its mean, every sample outside
// the windows keeps its value bit for bit, and a channel of zeros stays zero.
TEST_P(CorrectionOfEachOrdering, AgreesWithDoublePrecisionReference) {
    Settings settings;
    settings.triggers = evenlySpaced(20, 30, 25);
    settings.K = 3;
    TestRecording raw = artifactRecording(3, 560, settings, 11, GetParam());
    std::fill(raw.channels[2].begin(), raw.channels[2].end(), 0.0f);
    const TestRecording corrected = correct(raw, settings);
    EXPECT_EQ(corrected.channels[2], raw.channels[2]);
    const double tolerance = 1e-4 * largestMagnitude(raw);

    for (std::size_t c = 0; c < 2; ++c) {
        for (std::size_t first = 0; first < settings.triggers.size(); first += 10) {
            Windows rawRows, writtenRows;
            for (std::size_t t = first; t < first + 10; ++t) {
                rawRows.push_back(windowOf(raw.channels[c], settings.triggers[t], settings));
                writtenRows.push_back(
                    windowOf(corrected.channels[c], settings.triggers[t], settings));
            }
            const Windows expected = referenceCorrection(rawRows, settings.K);
            for (std::size_t j = 0; j < expected.size(); ++j) {
                double rawMean = 0.0, writtenMean = 0.0;
                for (std::size_t i = 0; i < expected[j].size(); ++i) {
                    ASSERT_NEAR(writtenRows[j][i], expected[j][i], tolerance)
                        << "channel " << c << " occurrence " << first + j << " sample " << i;
                    rawMean += rawRows[j][i] / expected[j].size();
                    writtenMean += writtenRows[j][i] / expected[j].size();
                }
                EXPECT_NEAR(writtenMean, rawMean, 1e-6 * largestMagnitude(raw));
                // The artifact was really removed: what is left is noise.
                double residual = 0.0;
                for (double x : writtenRows[j])
                    residual = std::max(residual, std::fabs(x - writtenMean));
                EXPECT_LT(residual, 10.0);
            }
        }
        expectUnchangedOutside(corrected.channels[c], raw.channels[c],
                               windowMask(raw.channels[c].size(), settings, 0, 20));
    }
}

INSTANTIATE_TEST_SUITE_P(SampleOrderings, CorrectionOfEachOrdering, ::testing::Values(1u, 2u));

// N = 25 with A = 10: three segments per channel, logged; the last one fills
// rows 5..9 with occurrences 15..19, read back as segment 2 wrote them, and
// writes only 20..24.
TEST_F(Correction, LastSegmentReadsFillerRowsAsThePreviousSegmentWroteThem) {
    Settings settings;
    settings.triggers = evenlySpaced(25, 20, 20);
    const TestRecording raw = artifactRecording(2, 530, settings, 5);
    const TestRecording full = correct(raw, settings);
    std::vector<std::string> expectedLog = {"// KORUSuite> Resulting number of segments: 3"};
    for (const char* channel : {"1", "2"}) {
        expectedLog.insert(expectedLog.end(), {"", ""});
        for (const char* segment : {"1", "2", "3"})
            expectedLog.push_back(std::string("// KORUSuite>>>>>> Processing segment ") + segment +
                                  "/3 of channel " + channel + " / 2  ...");
    }
    EXPECT_EQ(loggedLines, expectedLog);
    ASSERT_EQ(productInputs.size(), 6u);
    const std::vector<double> lastSegment = productInputs[2];

    const int32_t L = settings.length();
    for (int32_t row = 5; row < 10; ++row) {
        const std::vector<double> written = windowOf(
            full.channels[0], settings.triggers[static_cast<std::size_t>(10 + row)], settings);
        float mean = 0.0f;
        for (double x : written) mean += static_cast<float>(x);
        mean /= static_cast<float>(L);
        for (int32_t i = 0; i < L; ++i)
            ASSERT_EQ(lastSegment[static_cast<std::size_t>(row * L + i)],
                      static_cast<double>(static_cast<float>(written[static_cast<std::size_t>(i)]) -
                                          mean))
                << "row " << row << " sample " << i;
    }

    // Occurrences 0..19 end exactly as without the last segment; 20..24 change.
    Settings twenty = settings;
    twenty.triggers.resize(20);
    const TestRecording shorter = correct(raw, twenty);
    for (std::size_t t = 0; t < 25; ++t) {
        const std::vector<double> window =
            windowOf(full.channels[0], settings.triggers[t], settings);
        if (t < 20)
            EXPECT_EQ(window, windowOf(shorter.channels[0], settings.triggers[t], settings)) << t;
        else
            EXPECT_NE(window, windowOf(raw.channels[0], settings.triggers[t], settings)) << t;
    }
}

// Windows that reach one sample beyond either end stay as they were and add
// a zero row; windows that just fit are corrected.
TEST_F(Correction, WindowsOutOfBoundsAreLeftAloneAndGiveZeroRows) {
    Settings settings;
    const int samples = 300;
    // Occurrence 0 starts at -1, 1 starts at 0, 8 ends at the last sample, 9 one beyond.
    settings.triggers = {4, 5, 40, 80, 120, 160, 200, 240, samples - 1 - 10, samples - 10};
    const TestRecording raw = artifactRecording(1, samples, settings, 9);
    const TestRecording corrected = correct(raw, settings);
    const std::size_t L = static_cast<std::size_t>(settings.length());
    ASSERT_EQ(productInputs.size(), 1u);
    const std::vector<double> zeros(L, 0.0);
    EXPECT_EQ(std::vector<double>(productInputs[0].begin(), productInputs[0].begin() + L), zeros);
    EXPECT_EQ(std::vector<double>(productInputs[0].begin() + 9 * L, productInputs[0].end()), zeros);
    EXPECT_NE(windowOf(corrected.channels[0], 5, settings), windowOf(raw.channels[0], 5, settings));
    EXPECT_NE(windowOf(corrected.channels[0], samples - 11, settings),
              windowOf(raw.channels[0], samples - 11, settings));
    expectUnchangedOutside(corrected.channels[0], raw.channels[0],
                           windowMask(samples, settings, 1, 9));

    // Every window out of bounds: starting at -3, or triggers at the ends of
    // the integer range (what out-of-range microsecond positions turn into).
    settings.triggers = std::vector<int32_t>(10, 2);
    settings.triggers[3] = std::numeric_limits<int32_t>::min();
    settings.triggers[7] = std::numeric_limits<int32_t>::max();
    const TestRecording untouched = artifactRecording(1, 100, settings, 2);
    EXPECT_EQ(correct(untouched, settings).channels, untouched.channels);
}

// Where two windows overlap, the samples end with the values of the one
// written later, the later row, whether it lies later or earlier in time.
TEST_F(Correction, OverlappingWindowsEndWithTheLaterRowsValues) {
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "occurrences in descending order" : "in ascending order");
        Settings settings;
        settings.triggers = evenlySpaced(10, 20, 25);
        settings.triggers[4] = settings.triggers[3] + 8;  // windows 3 and 4 share 8 samples
        if (reversed) std::reverse(settings.triggers.begin(), settings.triggers.end());
        settings.K = 1;
        const TestRecording raw = artifactRecording(1, 300, settings, 13);
        const TestRecording corrected = correct(raw, settings);

        Windows rows;
        for (int32_t trigger : settings.triggers)
            rows.push_back(windowOf(raw.channels[0], trigger, settings));
        const Windows expected = referenceCorrection(rows, settings.K);
        const std::size_t earlyRow = reversed ? 6 : 3, lateRow = reversed ? 5 : 4;
        const int32_t early = settings.triggers[earlyRow], late = settings.triggers[lateRow];
        const std::size_t laterRow = std::max(earlyRow, lateRow);
        const std::size_t earlierRow = std::min(earlyRow, lateRow);
        const double tolerance = 1e-4 * largestMagnitude(raw);
        bool distinguishable = false;
        for (int32_t s = late - settings.pre; s <= early + settings.post; ++s) {
            const auto valueOf = [&](std::size_t row) {
                const int32_t first = settings.triggers[row] - settings.pre;
                return expected[row][static_cast<std::size_t>(s - first)];
            };
            EXPECT_NEAR(corrected.channels[0][static_cast<std::size_t>(s)], valueOf(laterRow),
                        tolerance)
                << s;
            if (std::fabs(valueOf(laterRow) - valueOf(earlierRow)) > 10 * tolerance)
                distinguishable = true;
        }
        EXPECT_TRUE(distinguishable);
        expectUnchangedOutside(corrected.channels[0], raw.channels[0],
                               windowMask(300, settings, 0, 10));
    }
}

TEST_F(Correction, RecordingInVoltsIsCorrectedLikeTheSameInMicrovolts) {
    Settings settings;
    settings.triggers = evenlySpaced(20, 20, 25);
    settings.K = 3;
    const TestRecording microvolts = artifactRecording(1, 530, settings, 17);
    TestRecording volts = microvolts;
    for (float& x : volts.channels[0]) x *= 1e-6f;
    const TestRecording fromMicrovolts = correct(microvolts, settings);
    const TestRecording fromVolts = correct(volts, settings);
    const double tolerance = 1e-4 * largestMagnitude(microvolts) * 1e-6;
    for (std::size_t s = 0; s < microvolts.channels[0].size(); ++s)
        ASSERT_NEAR(fromVolts.channels[0][s], fromMicrovolts.channels[0][s] * 1e-6, tolerance) << s;
}

// correctSegment touches only the channel it is given.
TEST_F(Correction, SegmentOfOneChannelLeavesTheOtherChannelsUntouched) {
    Settings settings;
    settings.triggers = evenlySpaced(10, 20, 20);
    const TestRecording raw = artifactRecording(3, 240, settings, 21);
    writeTestRecording(path(), raw);
    CtcFile file;
    ASSERT_EQ(openCtcFile(file, path().c_str(), kCtcOpenInPlace), 1);
    {
        CorrectionArrays arrays(settings);
        ObsWorkspace workspace;
        allocateObsWorkspace(workspace, settings.A, settings.K, settings.length());
        EXPECT_TRUE(correctSegment(workspace, file, 1, 0, arrays.T, 10, settings.pre, settings.post,
                                   arrays.w));
        releaseObsWorkspace(workspace);
    }
    EXPECT_EQ(closeCtcFile(file), 1);

    const TestRecording corrected = readTestRecording(path());
    EXPECT_EQ(corrected.channels[0], raw.channels[0]);
    EXPECT_NE(corrected.channels[1], raw.channels[1]);
    EXPECT_EQ(corrected.channels[2], raw.channels[2]);
}

// A window transfer that fails (here: the file was cut short while the
// correction ran) stops the correction at once and is reported.
TEST_F(Correction, StopsAtTheFirstFailedTransfer) {
    Settings settings;
    settings.triggers = evenlySpaced(30, 20, 20);
    truncateOnLine = "// KORUSuite>>>>>> Processing segment 2/3 of channel 1 / 2  ...";
    EXPECT_FALSE(correctFile(artifactRecording(2, 640, settings, 4), settings));
    ASSERT_FALSE(loggedLines.empty());
    EXPECT_EQ(loggedLines.back(), truncateOnLine);
}

}  // namespace

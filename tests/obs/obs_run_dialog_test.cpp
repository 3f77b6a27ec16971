// What a run says and asks: the complete sequence of host calls of a run,
// the header lines, the questions with their defaults and bounds, and the
// window lengths that the answers give.

#include "obs_run_fixture.h"

namespace {

std::string quotedPath(const std::string& path) {
    return "\"" + path + "\"";
}

TEST_F(WholeRun, CompleteRunMakesExactlyTheseHostCalls) {
    writeTestRecording(input(), smallRecording());
    const HostRun host = run(script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}));
    ASSERT_EQ(host.exitStatus, 0);
    const std::vector<std::string> expected = {
        "ztGetVersionOfLumatraZT",
        "ztShowLogTab",
        "ztLogText \" \"",
        "ztLogText \"// KORUSuite> Running EEG/MEG plugin (Artifact template removal with OBS "
        "method) ...\"",
        "ztGetCurrentVMR -> document",
        "ztGetOpenFileName \"Please select the file with input data set:\" \"\" \"*.ctc\" -> 1 " +
            quotedPath(input()),
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Creating the output file ...\"",
        "ztUpdateActiveWindow",
        "ztStopBusyCursor",
        "ztLogText \"// KORUSuite> Accessing data ...\"",
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Reading OK.\"",
        "ztLogText \"// KORUSuite> FileVersion: 1\"",
        "ztLogText \"// KORUSuite> CompressionType: 0\"",
        "ztLogText \"// KORUSuite> NrOfCompressionParams: 0\"",
        "ztLogText \"// KORUSuite> DataType: 1\"",
        "ztLogText \"// KORUSuite> Number of channels : 2\"",
        "ztLogText \"// KORUSuite> Sampling frequency [Hz] : 1000.000000\"",
        "ztLogText \"// KORUSuite> Number of samples : 300\"",
        "ztLogText \"// KORUSuite> Total data segment duration [min] : 0.005000\"",
        "ztLogText \"// KORUSuite> Total data segment duration [msec] : 300\"",
        "ztStopBusyCursor",
        "ztGetOpenFileName \"Please select the protocol file with artifact timing information:\" "
        "\"\" \"*.prt\" -> 1 " +
            quotedPath(protocolFile()),
        "ztLogText \"// KORUSuite> Accessing protocol information ...\"",
        "ztShowBusyCursor",
        "ztClearProtocol",
        "ztLoadProtocol " + quotedPath(protocolFile()),
        "ztGetProtocol -> 1",
        "ztLogText \"// KORUSuite> Experiment Name : Gradient run\"",
        "ztLogText \"// KORUSuite> Number of conditions : 2\"",
        "ztGetProtocolCondition 0",
        "ztLogText \"// KORUSuite>>> Condition n.1 : Rest\"",
        "ztLogText \"// KORUSuite>>>>> Nr. of trials : 1\"",
        "ztGetProtocolCondition 1",
        "ztLogText \"// KORUSuite>>> Condition n.2 : Scan\"",
        "ztLogText \"// KORUSuite>>>>> Nr. of trials : 10\"",
        "ztStopBusyCursor",
        "ztGetIntegerInput \"Please select the condition with the artifact triggers:\" 2 1 2 -> 2",
        "ztGetIntegerInput \"Temporal window definition:\\nPlease enter pre-trigger time [ms]:\" "
        "500 0 5000 -> 5",
        "ztGetIntegerInput \"Temporal window definition:\\nPlease enter post-trigger time [ms]:\" "
        "1200 0 5000 -> 10",
        "ztShowBusyCursor",
        "ztGetProtocolCondition 1",
        "ztStopBusyCursor",
        "ztGetIntegerInput \"OBS Settings (1).\\nPlease enter number of artifacts per segment:\" "
        "100 10 10 -> 10",
        "ztGetIntegerInput \"OBS Settings (2).\\nPlease enter number of desired PCs to keep in "
        "OBS:\" 3 1 10 -> 2",
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Resulting number of segments: 1\"",
        "ztUpdateActiveWindow",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite>>>>>> Processing segment 1/1 of channel 1 / 2  ...\"",
        "ztUpdateActiveWindow",
        "zt_intel_matrix_matrix_mult_d 10 10 16 0 1",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite>>>>>> Processing segment 1/1 of channel 2 / 2  ...\"",
        "ztUpdateActiveWindow",
        "zt_intel_matrix_matrix_mult_d 10 10 16 0 1",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite> Closing the output file ...\"",
        "ztUpdateActiveWindow",
        "ztStopBusyCursor",
        "ztLogText \"// KORUSuite> Artifact template removal completed!\"",
        "ztLogText \" \"",
        "execute -> true",
    };
    EXPECT_EQ(host.calls, expected);
}

TEST_F(WholeRun, HeaderLinesGiveFrequencyAndDuration) {
    const std::vector<std::vector<std::string>> cases = {
        {"Sampling frequency [Hz] : 1000.000000", "Number of samples : 300000",
         "Total data segment duration [min] : 5.000000",
         "Total data segment duration [msec] : 300000"},
        {"Sampling frequency [Hz] : 256.000000", "Number of samples : 1000",
         "Total data segment duration [min] : 0.065104",
         "Total data segment duration [msec] : 3906"},
        {"Sampling frequency [Hz] : 5000.500000", "Number of samples : 7",
         "Total data segment duration [min] : 0.000023", "Total data segment duration [msec] : 1"},
    };
    const std::pair<float, int> recordings[] = {{1000.0f, 300000}, {256.0f, 1000}, {5000.5f, 7}};
    for (std::size_t r = 0; r < cases.size(); ++r) {
        TestRecording recording = smallRecording(recordings[r].first, recordings[r].second);
        recording.channels.resize(1);
        writeTestRecording(input(), recording);
        const std::vector<std::string> lines =
            logLines(run("open " + input() + "\ncancel\n").calls);
        for (const std::string& line : cases[r])
            EXPECT_NE(std::find(lines.begin(), lines.end(), "// KORUSuite> " + line), lines.end())
                << line;
    }
}

// The questions for A and K receive their bounds as computed, even when they
// clash (default above maximum below 100 occurrences, minimum above maximum
// below 10).
TEST_F(WholeRun, QuestionsCarryTheirDefaultsAndBoundsAsComputed) {
    struct BoundsCase {
        int occurrences;
        std::vector<int> answers;
        const char* segmentQuestion;
        const char* componentQuestion;
        bool reachesCorrection;
    };
    const BoundsCase cases[] = {
        {120, {2, 5, 10, 12, 4}, " 100 10 120 -> 12", " 3 1 12 -> 4", true},
        {50, {2, 5, 10, 50, 3}, " 100 10 50 -> 50", " 3 1 50 -> 3", true},
        {5, {2, 5, 10, 5, 2}, " 100 10 5 -> 5", " 3 1 5 -> 2", true},
        {5, {2, 5, 10, 6, 2}, " 100 10 5 -> 6", " 3 1 6 -> 2", false},
    };
    for (const BoundsCase& c : cases) {
        writeTestRecording(input(), smallRecording(1000.0f, 40));
        const HostRun host = run(script(positionsFrom(c.occurrences, 1, 1), c.answers));
        const auto segment = callsStartingWith(host.calls, "ztGetIntegerInput \"OBS Settings (1)");
        const auto component =
            callsStartingWith(host.calls, "ztGetIntegerInput \"OBS Settings (2)");
        ASSERT_EQ(segment.size(), 1u);
        ASSERT_EQ(component.size(), 1u);
        EXPECT_EQ(segment[0].substr(segment[0].rfind('"') + 1), c.segmentQuestion);
        EXPECT_EQ(component[0].substr(component[0].rfind('"') + 1), c.componentQuestion);
        EXPECT_EQ(host.calls.back(), "execute -> true");
        EXPECT_EQ(callsStartingWith(host.calls, "zt_intel_matrix_matrix_mult_d").empty(),
                  !c.reachesCorrection);
    }
}

TEST_F(WholeRun, DefaultConditionIsTheLastOne) {
    writeTestRecording(input(), smallRecording());
    const HostRun host = run("open " + input() + "\nopen " + protocolFile() +
                             "\ncondition A 1\ncondition B 2\ncondition C 3\ninteger 0\n");
    const auto question = callsStartingWith(host.calls, "ztGetIntegerInput");
    ASSERT_EQ(question.size(), 1u);
    EXPECT_EQ(question[0].substr(question[0].rfind('"') + 1), " 3 1 3 -> 0");
}

// The window in samples shows as the inner dimension of the host's product.
TEST_F(WholeRun, WindowTimesAreConvertedToSamples) {
    struct WindowCase {
        float frequency;
        std::vector<int> answers;  // condition, pre, post, A, K
        const char* product;
    };
    const WindowCase cases[] = {
        {1000.0f, {2, 500, 1200, 10, 3}, "zt_intel_matrix_matrix_mult_d 10 10 1701 0 1"},
        {256.0f, {2, 500, 1200, 10, 3}, "zt_intel_matrix_matrix_mult_d 10 10 436 0 1"},
        {256.0f, {2, 0, 0, 10, 3}, "zt_intel_matrix_matrix_mult_d 10 10 1 0 1"},
    };
    for (const WindowCase& c : cases) {
        TestRecording recording = smallRecording(c.frequency, 50);
        recording.channels.resize(1);
        writeTestRecording(input(), recording);
        const HostRun host = run(script(positionsFrom(10, 3, 4), c.answers));
        const auto products = callsStartingWith(host.calls, "zt_intel_matrix_matrix_mult_d");
        ASSERT_EQ(products.size(), 1u);
        EXPECT_EQ(products[0], c.product);
        EXPECT_EQ(host.calls.back(), "execute -> true");
    }
}

}  // namespace

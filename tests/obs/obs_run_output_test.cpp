// What a run leaves on disk: the trial list in both time units, the
// corrected output, and the same result from consecutive runs.

#include <filesystem>

#include "obs_run_fixture.h"

namespace {

// Sample numbers become microseconds in general notation; microseconds are
// repeated. Both runs end at the segment check (A above N), after the list.
TEST_F(WholeRun, TrialListInBothTimeUnits) {
    const char* const cases[][3] = {
        {"", "1 501 1001 500001 1234568 0",
         "0 Scan\r\n500000 Scan\r\n1e+006 Scan\r\n5e+008 Scan\r\n1.23457e+009 Scan\r\n"
         "-1000 Scan\r\n"},
        {"timeunit 2\n", "1500000 20 7", "1500000 Scan\r\n20 Scan\r\n7 Scan\r\n"},
    };
    writeTestRecording(input(), smallRecording());
    for (const auto& c : cases) {
        const HostRun host = run(c[0] + script(c[1], {2, 5, 10, 10, 3}));
        EXPECT_EQ(host.calls.back(), "execute -> true");
        EXPECT_EQ(readFileBytes(folder.file("in_Scan.trl")), c[2]);
    }
}

TEST_F(WholeRun, ConditionWithoutIntervalsGivesAnEmptyTrialList) {
    writeTestRecording(input(), smallRecording());
    writeFileBytes(folder.file("in_Scan.trl"), "old content\r\n");
    const HostRun host = run(script("", {2, 5, 10, 1, 1}));
    EXPECT_EQ(readFileBytes(folder.file("in_Scan.trl")), "");
    const auto segment = callsStartingWith(host.calls, "ztGetIntegerInput \"OBS Settings (1)");
    ASSERT_EQ(segment.size(), 1u);
    EXPECT_EQ(segment[0].substr(segment[0].rfind('"') + 1), " 100 10 0 -> 1");
    EXPECT_EQ(lastReport(host.calls).rfind("ztMessageBox \"Too few artifact examples", 0), 0u);
    EXPECT_EQ(host.calls.back(), "execute -> true");
}

// The trial list is a by-product: when it cannot be written the correction
// still runs to completion.
TEST_F(WholeRun, TrialListThatCannotBeWrittenDoesNotStopTheRun) {
    writeTestRecording(input(), smallRecording());
    std::filesystem::create_directory(folder.file("in_Scan.trl"));
    const HostRun host = run(script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}));
    EXPECT_EQ(host.calls.back(), "execute -> true");
    EXPECT_NE(readFileBytes(output()), readFileBytes(input()));
}

// Positions in microseconds at 1000 Hz: 100000 us is sample 100. Only the
// windows around those samples change, in the chosen channel order.
TEST_F(WholeRun, MicrosecondTriggersPlaceTheCorrectedWindows) {
    TestRecording recording = smallRecording(1000.0f, 600);
    writeTestRecording(input(), recording);
    writeFileBytes(output(), "an older output that is replaced");
    const HostRun host =
        run("timeunit 2\n" + script(positionsFrom(10, 40000, 50000), {2, 5, 10, 10, 2}));
    ASSERT_EQ(host.calls.back(), "execute -> true");
    const TestRecording corrected = readTestRecording(output());
    ASSERT_EQ(corrected.channels.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
        bool changedInWindows = false;
        for (int s = 0; s < 600; ++s) {
            const bool inWindow = s >= 35 && (s - 35) % 50 <= 15 && s <= 495 + 15;
            const float before = recording.channels[c][static_cast<std::size_t>(s)];
            const float after = corrected.channels[c][static_cast<std::size_t>(s)];
            if (!inWindow) {
                EXPECT_EQ(after, before) << "channel " << c << " sample " << s;
            }
            if (inWindow && after != before) changedInWindows = true;
        }
        EXPECT_TRUE(changedInWindows) << "channel " << c;
    }
}

// The module keeps nothing between runs: a second run of the same object
// kind repeats the first exactly.
TEST_F(WholeRun, TwoConsecutiveRunsGiveTheSameResult) {
    writeTestRecording(input(), smallRecording());
    const std::string answers = script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2});
    const HostRun single = run(answers);
    const std::string singleOutput = readFileBytes(output());

    const HostRun twice =
        run("runs 2\n" + answers + "open " + input() + "\nopen " + protocolFile() +
            "\ninteger 2\ninteger 5\ninteger 10\ninteger 10\n"
            "integer 2\n");
    ASSERT_EQ(twice.calls.size(), 2 * single.calls.size());
    for (std::size_t i = 0; i < single.calls.size(); ++i) {
        EXPECT_EQ(twice.calls[i], single.calls[i]);
        EXPECT_EQ(twice.calls[single.calls.size() + i], single.calls[i]);
    }
    EXPECT_EQ(readFileBytes(output()), singleOutput);
    EXPECT_NE(singleOutput, readFileBytes(input()));
}

}  // namespace

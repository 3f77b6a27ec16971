// BrainVision reading and writing: every stored format in both orientations,
// the text variants real files come in, the refusals, and the copy.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "brainvision_test_files.h"
#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/recordings/brainvision_reader.h"
#include "hostprogram/recordings/brainvision_writer.h"

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos)
        ADD_FAILURE() << "no " << from;
    else
        text.replace(at, from.size(), to);
    return text;
}

std::string everywhere(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The ways real headers differ from the plain one, one per case.
std::string headerVariant(const std::string& plain, int variant) {
    switch (variant) {
        case 1:  // byte-order mark, CRLF
            return "\xEF\xBB\xBF" + everywhere(plain, "\n", "\r\n");
        case 2:  // declared Latin-1
            return everywhere(replaced(plain, "UTF-8", "Latin-1"), "\xC2\xB5", "\xB5");
        case 3: {  // version 2.0 spelling, sections in lower case, trailing blanks, no code page
            std::string text = replaced(plain, "Brain Vision Data Exchange Header File Version 1.0",
                                        "BrainVision Data Exchange Header File Version 2.0");
            text = replaced(replaced(text, "[Common Infos]", "[common infos]"), "Codepage=UTF-8\n",
                            "");
            return everywhere(everywhere(text, "\xC2\xB5", "\xB5"), "\n", " \t\n");
        }
    }
    return plain;
}

// Rate, length, channels and markers in one line, for comparisons whose
// failure shows all of them.
std::string described(const RecordingInfo& info) {
    std::ostringstream text;
    text << info.samplingFrequency << " Hz " << info.samples;
    for (const RecordingChannel& channel : info.channels)
        text << " | " << channel.name << " " << channel.unit;
    for (const RecordingMarker& marker : info.markers)
        text << " | " << brainVisionConditionName(marker) << " " << marker.sample << "+"
             << marker.duration;
    return text.str();
}

// Reads the whole recording in blocks that do not divide it, the last one
// short, and passes each block to the writer when there is one.
std::vector<float> readInBlocks(BrainVisionReader& reader, BrainVisionWriter* writer) {
    const std::size_t channels = reader.info.channels.size();
    std::vector<float> whole(channels * reader.info.samples), block(channels * 10);
    std::string error;
    for (int64_t first = 0; first < reader.info.samples; first += 10) {
        const int64_t count = std::min<int64_t>(10, reader.info.samples - first);
        EXPECT_TRUE(readBrainVisionBlock(reader, first, count, block.data(), error)) << error;
        if (writer) {
            EXPECT_TRUE(appendBrainVisionBlock(*writer, block.data(), count, error)) << error;
        }
        for (std::size_t c = 0; c < channels; ++c)
            std::copy_n(&block[c * count], count, &whole[c * reader.info.samples + first]);
    }
    return whole;
}

// Each case is also copied by the writer, alternately with the input's marker
// entries word for word and with entries made from the markers, and the copy
// must read back the same.
TEST(BrainVisionFiles, ReadsEveryBinaryFormatInBothOrientationsAndCopiesIt) {
    TemporaryFolder folder;
    int variant = 0;
    for (const char* format : kBinaryFormats)
        for (bool vectorized : {false, true}) {
            SCOPED_TRACE(::testing::Message() << format << (vectorized ? " vectorized" : "")
                                              << ", variant " << variant % 4);
            const RawBrainVision raw = roundTripRecording(format, vectorized);
            const std::string path = writeRawBrainVision(folder, "r", raw);
            writeFile(path, headerVariant(rawHeaderText(raw, "r"), variant % 4));
            BrainVisionReader reader, copy;
            BrainVisionWriter writer;
            std::string error;
            ASSERT_TRUE(openBrainVisionReader(path, reader, error)) << error;
            const RecordingInfo& info = reader.info;
            EXPECT_EQ(described(info),
                      "500 Hz 37 | Fp1 µV | A,B mV | C3 nV | EOG µV | New Segment/ 0+1 | "
                      "Stimulus/S  1 4+1 | Response/R,128 36+0");
            EXPECT_EQ(reader.markerEntries, raw.markerEntries);
            const bool verbatim = variant++ % 2 == 0;
            ASSERT_TRUE(createBrainVisionWriter(
                folder.file("r_OBS.vhdr"), info,
                verbatim ? reader.markerEntries : brainVisionMarkerEntries(info.markers), writer,
                error));
            const std::vector<float> samples = readInBlocks(reader, &writer);
            for (int c = 0; c < 4; ++c)
                for (int s = 0; s < 37; ++s) {
                    const double expected = raw.stored[c][s] * kRoundTripResolutions[c];
                    EXPECT_NEAR(samples[c * 37 + s], expected, 1e-6 * std::fabs(expected))
                        << c << "," << s;
                }
            EXPECT_FALSE(readBrainVisionBlock(reader, 30, 8, nullptr, error));
            EXPECT_EQ(error,
                      folder.file("r.eeg") + ": samples 30 to 38 are outside the recording's 37");
            ASSERT_TRUE(finishBrainVisionWriter(writer, error)) << error;
            EXPECT_NE(readFile(folder.file("r_OBS.vhdr"))
                          .find("DataFile=r_OBS.eeg\r\nMarkerFile=r_OBS.vmrk\r\n"),
                      std::string::npos);
            ASSERT_TRUE(openBrainVisionReader(folder.file("r_OBS.vhdr"), copy, error)) << error;
            EXPECT_EQ(readInBlocks(copy, nullptr), samples);
            EXPECT_EQ(described(copy.info), described(info));
            EXPECT_EQ(copy.markerEntries == raw.markerEntries, verbatim);
        }
}

TEST(BrainVisionFiles, RefusesWhatIsInconsistentNamingFileLineAndField) {
    struct Case {
        char target;  // the header, the marker file or the data ('d': one byte short)
        const char* from;
        const char* to;
        const char* named;  // the file the message names
        const char* expected;
    };
    const Case cases[] = {
        {'h', "Version 1.0", "Version 3.0", "b.vhdr",
         "line 1: expected \"Brain Vision Data Exchange Header File Version 1.0\" (or 2.0), not "
         "\"Brain Vision Data Exchange Header File Version 3.0\""},
        {'h', "=BINARY", "=ASCII", "b.vhdr",
         "line 8: DataFormat: expected BINARY (ASCII data is not read), not ASCII"},
        {'h', "=INT_16", "=INT_8", "b.vhdr",
         "line 14: BinaryFormat: expected INT_16, UINT_16, INT_32 or IEEE_FLOAT_32, not INT_8"},
        {'h', "=MULTIPLEXED", "=DIAGONAL", "b.vhdr",
         "line 9: DataOrientation: expected MULTIPLEXED or VECTORIZED, not DIAGONAL"},
        {'h', "Channels=2", "Channels=3", "b.vhdr",
         "NumberOfChannels: 3, but [Channel Infos] has 2 channels"},
        {'h', "=2000", "=-1", "b.vhdr",
         "line 11: SamplingInterval: expected a positive interval in microseconds, not -1"},
        {'h', "DataFile=b.eeg\n", "", "b.vhdr", "DataFile: missing from [Common Infos]"},
        {'h', "Ch2=", "Ch3=", "b.vhdr",
         "line 18: Ch3: expected Ch2 (channels are numbered 1 to 2)"},
        {'h', "Ch2=B,,0.5", "Ch2=B,,half", "b.vhdr",
         "line 18: Ch2: expected a resolution, not half"},
        {'h', "Ch2=B,,0.5", "Ch2=B,,0", "b.vhdr", "line 18: Ch2: expected a non-zero resolution"},
        {'h', "Ch2=B", "Ch1=B", "b.vhdr", "line 18: Ch1: given twice"},
        {'h', "UTF-8", "KOI8-R", "b.vhdr",
         "line 5: Codepage: expected UTF-8 or Latin-1, not KOI8-R"},
        {'h', "INT_16\n", "INT_16\nUseBigEndianOrder=YES\n", "b.vhdr",
         "line 15: UseBigEndianOrder: expected NO (big-endian data is not read), not YES"},
        {'h', "DataFormat=", "DataFormat ", "b.vhdr",
         "line 8: expected key=value, not DataFormat BINARY"},
        {'h', "DataFile=b.eeg", "DataFile=gone.eeg", "gone.eeg", "No such file or directory"},
        {'h', "=2000\n", "=2000\nDataPoints=5\n", "b.eeg",
         "holds 16 bytes, shorter than the header's DataPoints=5 of 2 channels"},
        {'d', "", "", "b.eeg",
         "holds 15 bytes, not a whole number of samples of 2 channels of 2 bytes"},
        {'h', "MarkerFile=b.vmrk", "MarkerFile=none.vmrk", "none.vmrk",
         "No such file or directory"},
        {'m', ",4,1,0", ",5,1,0", "b.vmrk", "line 8: Mk1: position 5 is after the last sample (4)"},
        {'m', ",4,1,0", ",0,1,0", "b.vmrk",
         "line 8: Mk1: expected a position of at least 1, not \"0\""},
        {'m', "Mk1=", "Marker1=", "b.vmrk",
         "line 8: Marker1: expected Mk<number>=<type>,<description>,<position>,..."},
        {'m', ",0\n", ",0\nMk1=Stimulus,S  2,3,1,0\n", "b.vmrk",
         "line 9: Mk1: marker number given twice"},
    };
    RawBrainVision raw;
    raw.channelEntries = {"Ch1=A,,0.5,µV", "Ch2=B,,0.5,µV"};
    raw.stored = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    raw.markerEntries = {"Mk1=Stimulus,S  1,4,1,0"};
    TemporaryFolder folder;
    const std::string header = rawHeaderText(raw, "b"), markers = rawMarkerText(raw, "b");
    const std::string data = rawDataBytes(raw);
    BrainVisionReader reader;
    std::string error;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.expected);
        writeRawBrainVision(folder, "b", raw);
        if (test.target == 'h')
            writeFile(folder.file("b.vhdr"), replaced(header, test.from, test.to));
        if (test.target == 'm')
            writeFile(folder.file("b.vmrk"), replaced(markers, test.from, test.to));
        if (test.target == 'd') writeFile(folder.file("b.eeg"), data.substr(1));
        EXPECT_FALSE(openBrainVisionReader(folder.file("b.vhdr"), reader, error));
        EXPECT_EQ(error, folder.file(test.named) + ": " + test.expected);
    }
    // A header cut anywhere before its last channel has a name is refused.
    writeRawBrainVision(folder, "b", raw);
    for (std::size_t length = 0; length < header.find("Ch2=B") + 5; ++length) {
        writeFile(folder.file("b.vhdr"), header.substr(0, length));
        EXPECT_FALSE(openBrainVisionReader(folder.file("b.vhdr"), reader, error)) << length;
    }
}

// What the writer cannot complete leaves nothing behind.
TEST(BrainVisionFiles, WriterRefusesAndLeavesNothingUnfinished) {
    TemporaryFolder folder;
    RecordingInfo info;
    info.samplingFrequency = 250;
    info.samples = 23;
    info.channels = {{"Fz", "µV", 250}};
    const std::vector<float> samples(24, 1.0f);
    BrainVisionWriter writer;
    std::string error;
    EXPECT_FALSE(createBrainVisionWriter(folder.file("x.eeg"), info, {}, writer, error));
    EXPECT_EQ(error, folder.file("x.eeg") + ": expected a header file name ending in .vhdr");
    ASSERT_TRUE(createBrainVisionWriter(folder.file("x.vhdr"), info, {}, writer, error));
    EXPECT_FALSE(appendBrainVisionBlock(writer, samples.data(), 24, error));
    ASSERT_TRUE(appendBrainVisionBlock(writer, samples.data(), 5, error));
    EXPECT_FALSE(finishBrainVisionWriter(writer, error));
    EXPECT_EQ(error, folder.file("x.eeg") + ": 5 of 23 samples written");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
}

}  // namespace

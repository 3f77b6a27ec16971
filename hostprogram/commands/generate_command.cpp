#include "hostprogram/commands/generate_command.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ctc/ctc_format.h"
#include "hostprogram/demo/demo_recording.h"
#include "hostprogram/host/interruption.h"
#include "hostprogram/protocols/protocol_file.h"
#include "hostprogram/recordings/ctc_writer.h"
#include "hostprogram/recordings/recording_conversion.h"

namespace {

// Microvolts per stored step: int16 covers +-1600 uV, int8 +-500 uV; the
// scaled floats just exercise the conversion.
float stepOf(int dataType) {
    switch (dataType) {
        case ctc::kDataTypeInt16:
            return 0.05f;
        case ctc::kDataTypeInt8:
            return 4.0f;
        default:
            return 0.5f;
    }
}

// The generator gives one channel at a time, which only CTC's channel after
// channel layout takes as it comes; other formats are copied from a hidden
// CTC file of floats beside them, which goes once they are written. The
// heartbeats become markers "R-peaks", which BrainVision files type as
// "Comment", as convert types an EDF+ annotation.
bool writeOtherFormat(const std::string& ctcPath, const std::string& path, RecordingFormat format,
                      const DemoRecording& timing, std::string& error) {
    RecordingConversion conversion;
    if (!openRecordingSource(ctcPath, "\u00b5V", conversion.source, error)) return false;
    if (timing.ecgChannel >= 0)
        conversion.source.info.channels[static_cast<std::size_t>(timing.ecgChannel)].name = "ECG";
    const std::vector<int32_t>& rPeaks = timing.rPeaks;
    for (int32_t sample : rPeaks)
        conversion.source.info.markers.push_back(RecordingMarker{"", "R-peaks", sample, 1});
    planRecordingConversion(conversion, format);
    return writeRecordingConversion(conversion, path, error);
}

}  // namespace

CtcLayout generatedLayout(const DemoSettings& settings, uint32_t sampleCount) {
    CtcLayout layout;
    layout.samplingFrequency = static_cast<float>(settings.samplingRate);
    const int channels = settings.channelCount + (settings.ecgChannel ? 1 : 0);
    layout.channelCount = static_cast<uint32_t>(channels);
    layout.sampleCount = sampleCount;
    layout.sampleOrdering = settings.sampleOrdering;
    layout.dataType = settings.dataType;
    if (ctc::isScaledDataType(static_cast<uint32_t>(settings.dataType)))
        for (int c = 0; c < channels; ++c) {
            layout.offsets.push_back(0.5f * static_cast<float>(c % 7) - 1.5f);
            // The ECG is some millivolts: ten times the EEG's step.
            const float ecg = c == settings.channelCount ? 10.0f : 1.0f;
            layout.scales.push_back(ecg * stepOf(settings.dataType));
        }
    return layout;
}

ExitStatus generateCommand(const Options& options) {
    const DemoSettings& settings = options.demo;
    std::error_code failure;
    std::filesystem::create_directories(settings.directory, failure);
    if (failure) {
        std::fprintf(stderr, "LumatraZT: cannot create the folder %s: %s\n",
                     settings.directory.c_str(), failure.message().c_str());
        return kExitFailed;
    }
    const std::string stem = settings.directory + "/" + settings.name;
    const std::string recordingPath = stem + "." + settings.format;
    RecordingFormat format = RecordingFormat::kCtc;
    std::string error;
    recordingFormatOfPath(recordingPath, format, error);  // the option's value was checked
    const bool direct = format == RecordingFormat::kCtc;
    const std::string ctcPath = direct ? recordingPath
                                       : settings.directory + "/." + settings.name + ".LumatraZT-" +
                                             std::to_string(static_cast<long>(getpid())) + ".ctc";
    InterruptibleScope interruptible;
    removeOnInterruption(ctcPath);
    if (!direct)
        for (const std::string& file : recordingFilesOf(recordingPath, format))
            removeOnInterruption(file);
    CtcChannelWriter writer;
    DemoRecording timing;
    const bool generated = generateDemoChannels(
        settings, timing,
        [&](int channel, const std::vector<float>&, const std::vector<float>& recorded) {
            if (channel == 0 &&
                !openCtcChannelWriter(
                    ctcPath, generatedLayout(settings, static_cast<uint32_t>(recorded.size())),
                    writer, error))
                return false;
            return appendCtcChannel(writer, recorded, error);
        });
    if (!generated || !finishCtcChannelWriter(writer, error)) {
        abandonCtcChannelWriter(writer);
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return kExitFailed;
    }
    if (!direct) {
        const bool written = writeOtherFormat(ctcPath, recordingPath, format, timing, error);
        std::remove(ctcPath.c_str());
        if (!written) {
            std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
            return kExitFailed;
        }
    }
    Protocol protocol;
    protocol.experimentName = "KORU generated recording";
    protocol.conditions.push_back(ProtocolCondition{"R-peaks", timing.rPeaks, timing.rPeaks});
    if (!writeProtocolFile(stem + ".prt", protocol) ||
        !writeTriggerListFile(stem + "_triggers.txt",
                              std::vector<int64_t>(timing.rPeaks.begin(), timing.rPeaks.end()))) {
        std::fprintf(stderr, "LumatraZT: cannot write the protocol files beside %s\n",
                     recordingPath.c_str());
        return kExitFailed;
    }
    if (direct)
        std::printf("%s: %d channels, %.0f s at %.0f Hz, sample ordering %d, data type %d\n",
                    recordingPath.c_str(), settings.channelCount, settings.durationSeconds,
                    settings.samplingRate, settings.sampleOrdering, settings.dataType);
    else
        std::printf("%s: %d channels, %.0f s at %.0f Hz, %s, in microvolts\n",
                    recordingPath.c_str(), settings.channelCount, settings.durationSeconds,
                    settings.samplingRate, recordingFormatName(format));
    if (timing.ecgChannel >= 0)
        std::printf("channel %d: ECG as recorded in the scanner (%s)\n", timing.ecgChannel + 1,
                    direct ? "unnamed in CTC" : "named ECG");
    std::printf("%s.prt and %s_triggers.txt: %zu heartbeats (zero-based samples)\n", stem.c_str(),
                stem.c_str(), timing.rPeaks.size());
    return kExitCompleted;
}

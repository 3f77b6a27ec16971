#include "run/run_header_report.h"

#include "host/host_log.h"
#include "run/sample_conversions.h"

// The header fields are unsigned; the log has always shown them as signed
// integers, so the same bits are printed as such.
void logHeaderReport(const CtcFile& file) {
    logLine("// KORUSuite> Reading OK.");
    logFormatted("// KORUSuite> FileVersion: %i", static_cast<int32_t>(file.FileVersion));
    logFormatted("// KORUSuite> CompressionType: %i", static_cast<int32_t>(file.CompressionType));
    logFormatted("// KORUSuite> NrOfCompressionParams: %i",
                 static_cast<int32_t>(file.NrOfCompressionParams));
    logFormatted("// KORUSuite> DataType: %i", static_cast<int32_t>(file.DataType));
    logFormatted("// KORUSuite> Number of channels : %i", static_cast<int32_t>(file.NrOfChannels));
    logFormatted("// KORUSuite> Sampling frequency [Hz] : %f",
                 static_cast<double>(file.SamplingFrequency));
    logFormatted("// KORUSuite> Number of samples : %i", static_cast<int32_t>(file.NrOfSamples));
    logFormatted("// KORUSuite> Total data segment duration [min] : %f",
                 static_cast<double>(durationMinutes(file.NrOfSamples, file.SamplingFrequency)));
    logFormatted("// KORUSuite> Total data segment duration [msec] : %i",
                 durationMilliseconds(file.NrOfSamples, file.SamplingFrequency));
}

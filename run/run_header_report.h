#pragma once

#include "ctc/ctc_file.h"

// Logs "Reading OK." and the header of the opened output file: format
// fields, channels, sampling frequency, samples and the recording's duration.
void logHeaderReport(const CtcFile& file);

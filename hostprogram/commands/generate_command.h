#pragma once

// `LumatraZT generate`: the demo's recording alone, in the layout asked for
// (sample ordering, data type), with its protocol and a trigger list, for
// benchmarks and for trying the plug-in on data of a given size.

#include "hostprogram/cli/options.h"
#include "hostprogram/recordings/ctc_writer.h"

ExitStatus generateCommand(const Options& options);

// Offsets and scales the generated files use for data types 3 to 5: steps
// fine enough for the demo's microvolt amplitudes within each type's range.
CtcLayout generatedLayout(const DemoSettings& settings, uint32_t sampleCount);

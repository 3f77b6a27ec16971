#pragma once

// Writing a continuous CTC file of plain floats (data type 1), for the demo
// and the tests. channels[c] holds the samples of channel c; all have one
// length.

#include <string>
#include <vector>

bool writeCtcFloatFile(const std::string& path, float samplingFrequency,
                       const std::vector<std::vector<float>>& channels, int sampleOrdering = 1);

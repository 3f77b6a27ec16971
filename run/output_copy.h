#pragma once

// The output file starts as a byte-for-byte copy of the input; the correction
// then rewrites it in place.

#include <string>

// Copies inputPath to outputPath, replacing an existing file of that name.
// True only when every byte reached the output and it was closed without
// error. On failure no partial output is left behind: a half-written copy
// would look like a valid recording (its header is intact) while its samples
// are not the input's. A path that could not be opened for writing is left
// as it was.
bool copyFileChecked(const std::string& inputPath, const std::string& outputPath);

#pragma once

// Names of the files a run makes beside its input. Both are built as
// strings sized to fit, so no combination of lengths can overflow them.

#include <string>

// An input path must have the four characters that its extension takes
// (".ctc"); shorter paths name no recording the run could process.
bool hasReplaceableExtension(const std::string& inputPath);

// The input path without its last four characters (whatever they are), the
// common stem of the output and trial list names. Requires
// hasReplaceableExtension(inputPath).
std::string pathStem(const std::string& inputPath);

// "run1.ctc" -> "run1_OBS.ctc"; "run1.CTC" gives the same.
std::string outputPathFor(const std::string& inputPath);

// "run1.ctc" with condition "R" -> "run1_R.trl", beside the input.
std::string trialListPathFor(const std::string& inputPath, const std::string& conditionName);

#pragma once

// What the program's exit status tells a script. Only main turns one of these
// into the process's exit.
enum ExitStatus : int {
    // The run completed: the output file was corrected. Also: help, version,
    // info, about and a demo whose run completed.
    kExitCompleted = 0,
    // The run ended without correcting the output: the plug-in stopped on its
    // input (data file not readable as CTC, protocol not applied, ...), or the
    // module could not be loaded or asked for its object.
    kExitFailed = 1,
    // The command line could not be understood.
    kExitUsage = 2,
    // A file dialogue was answered with no file, or the condition was declined.
    kExitCancelled = 3,
    // The run was refused: an answer outside its bounds, an input that cannot
    // be used (checked before the run), or the plug-in refusing its settings
    // (too few occurrences for one segment, host too old, no matrix products).
    kExitRefused = 4,
};

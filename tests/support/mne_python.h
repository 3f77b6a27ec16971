#pragma once

// MNE-Python, the field's reference reader, is what the readers' and writers'
// tests compare with. The python3 first on the path may be one without it (a
// private installation beside the system's), so the system's is tried too.

#include <cstdlib>
#include <string>

// The command of a python3 that has MNE-Python, or empty when none has.
inline std::string pythonWithMne() {
    for (const char* python : {"python3", "/usr/bin/python3"}) {
        const std::string command = std::string(python) + " -c 'import mne' 2>/dev/null";
        if (std::system(command.c_str()) == 0) return python;
    }
    return std::string();
}

// The module exports a function named fmin because the host's list of the
// module's exports carries it; hosts may look it up by that name. It must not
// take the place of the C library's fmin anywhere else in the host process:
//  - Hosts load the module with local symbol scope, so its names never enter
//    the process-wide lookup, and even with global scope the C library, loaded
//    before any plug-in, comes first in that lookup.
//  - Nothing inside the module calls fmin, so its own code never depends on
//    which definition a call would bind to.
// Only a caller that looks the name up in this module reaches this function.
// This file must not include <cmath> or <math.h>: the compiler would treat the
// definition as the library builtin.

#include "plugin/LMPluginInterface.h"

extern "C" double fmin(double x, double y) {
    return y >= x ? x : y;
}

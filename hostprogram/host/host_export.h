#pragma once

// The build hides every name by default; the host functions must be found by
// name in the executable, so their definitions carry this mark.
#define HOST_EXPORT __attribute__((visibility("default")))

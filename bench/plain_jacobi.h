#pragma once

// A plain, unoptimised transcription of the cyclic Jacobi iteration that
// jacobi_eigen must reproduce bit for bit: the matrix stays in its strict
// upper triangle and every rotation walks rows and columns in place. The
// benchmark times the fast routine against it and compares their bits.

#include <cstdint>

#include "numeric/offset_array.h"

bool plain_jacobi_eigen(OffsetMatrix a, int32_t n, OffsetVector d, OffsetMatrix v,
                        int32_t* rotationCount);

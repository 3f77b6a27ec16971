#pragma once

// The host functions of the contract (all but the matrix products, which
// host/matrix_products.cpp defines) are defined by host_functions.cpp and
// exported from this executable for the plug-in to bind by name. Each one
// serves the active host session.

#include "host/host_contract.h"

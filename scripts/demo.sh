#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo. (The demo arrives with
# the host program; until then this builds the module.)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default

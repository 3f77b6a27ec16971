#!/usr/bin/env bash
# Installs what is missing, builds the default preset and runs the demo: an
# example recording with a known clean signal, corrected by the plug-in
# through the Linux host program, with the residual artifact printed and a
# report written to build/default/demo/report.html. Extra arguments go to
# the demo (see build/default/hostprogram/LumatraZT --help).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target LumatraZT
build/default/hostprogram/LumatraZT demo --directory build/default/demo "$@"

#!/usr/bin/env bash
# Installs what is missing, checks the C++ layout with clang-format and that
# no units include one another, then
# builds and runs every test: the release build, the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer), a plain configuration (no
# preset) checked for the same bits, and a bounded run of the CTC fuzzer.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/check-include-cycles.py
cmake --workflow --preset default
cmake --workflow --preset sanitize
scripts/check-bits-without-preset.sh
if [ -x fuzz/run-fuzz.sh ]; then
    fuzz/run-fuzz.sh "${FUZZ_SECONDS:-60}"
fi

#!/usr/bin/env bash
# Every C++ file of the repository must be laid out as .clang-format says;
# `clang-format -i FILE` mends one that is not.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "every C++ file laid out as .clang-format says"

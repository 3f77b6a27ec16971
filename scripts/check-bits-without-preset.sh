#!/usr/bin/env bash
# Guards that the plug-in's results do not depend on how the project is
# configured: a build set up as a packager would (plain cmake, no preset, no
# flags of ours) must hold no fused multiply-add in any code path of the
# module (the AVX-512 and AVX2 paths run only on processors that have them,
# so they are checked in the object code) and must write the same bits as
# recorded in bench/expected-checksums.txt.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=build/plain-configuration
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORU_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target LumatraZT
module=$(find "$build/plugin" -maxdepth 1 -name 'KORUArtifactRemovalPlugin*' -type f | head -n 1)
fused=$(objdump -d --no-show-raw-insn "$module" | grep -cE '\svf(n)?m(add|sub)[0-9]' || true)
if [ "$fused" -ne 0 ]; then
    echo "the module of a plain configuration holds $fused fused multiply-add instructions" >&2
    exit 1
fi
echo "no fused multiply-add in $module"
python3 bench/run_benchmark.py --build "$build" checksums

#!/usr/bin/env bash
# Sets up the machine, builds and runs every test: the debug build with warnings as errors,
# the same suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the Windows build
# (MinGW-w64 cross build, run under Wine). LUMIPOD_TEST_PRESETS picks other presets.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=${LUMIPOD_TEST_PRESETS:-dev asan mingw}
# shellcheck disable=SC2086  # one word per preset
bash scripts/setup.sh ${presets}
jobs=${LUMIPOD_JOBS:-2}

for preset in ${presets}; do
  echo "=== ${preset}: configure and build"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  echo "=== ${preset}: test"
  ctest --preset "${preset}" -j "${jobs}"
done

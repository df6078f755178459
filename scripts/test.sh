#!/usr/bin/env bash
# Sets up the machine, builds and runs every test: the debug build with warnings as errors,
# then the same suite under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=${LUMIPOD_JOBS:-2}

for preset in ${LUMIPOD_TEST_PRESETS:-dev asan}; do
  echo "=== ${preset}: configure and build"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  echo "=== ${preset}: test"
  ctest --preset "${preset}" -j "${jobs}"
done

#!/usr/bin/env bash
# Sets up the machine, checks the sources' format, builds and runs every test: the debug
# build with warnings as errors, the same suite under AddressSanitizer +
# UndefinedBehaviorSanitizer, the fuzz targets built with clang's libFuzzer (each replays its
# corpus, then fuzzes for a short while), then the Windows build (MinGW-w64 cross build, run
# under Wine); the packages of the debug and the Windows builds are made and checked.
# LUMIPOD_TEST_PRESETS picks other presets; LUMIPOD_FUZZ_SECONDS sets the length of each
# fuzzing run (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

presets=${LUMIPOD_TEST_PRESETS:-dev asan fuzz mingw}
# shellcheck disable=SC2086  # one word per preset
bash scripts/setup.sh ${presets}
jobs=${LUMIPOD_JOBS:-2}

# Habits checked before anything is built: the sources as clang-format writes them.
echo "=== format: clang-format over the tracked C++ sources"
bash scripts/check-format.sh

for preset in ${presets}; do
  echo "=== ${preset}: configure and build"
  if [[ ${preset} == fuzz ]]; then
    cmake --preset fuzz -DLUMIPOD_FUZZ_SMOKE_SECONDS="${LUMIPOD_FUZZ_SECONDS:-20}" >/dev/null
  else
    cmake --preset "${preset}" >/dev/null
  fi
  cmake --build --preset "${preset}" -j "${jobs}"
  echo "=== ${preset}: test"
  ctest --preset "${preset}" -j "${jobs}"
  # The packages, checked as a user meets them: the .tar.gz and .deb of the Linux debug build,
  # the .zip of the Windows one (scripts/check-packages.sh).
  case ${preset} in
    dev)
      echo "=== ${preset}: packages"
      (cd "build/${preset}" && cpack >/dev/null)
      bash scripts/check-packages.sh linux "build/${preset}"
      ;;
    mingw)
      echo "=== ${preset}: packages"
      cpack --preset mingw >/dev/null
      bash scripts/check-packages.sh windows build/mingw
      ;;
  esac
done

#!/usr/bin/env bash
# Sets up the machine, checks the sources' format and runs clang-tidy over them, then builds and
# runs every test: the debug build with warnings as errors, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the optimised release build the packages are
# made from (with a brief run of the benchmarks), the same suite built with clang
# (RelWithDebInfo), the fuzz targets built with clang's libFuzzer (each replays its corpus, then
# fuzzes for a short while), then the Windows build (MinGW-w64 cross build, run under Wine).
# LUMIPOD_TEST_PRESETS picks other presets; LUMIPOD_FUZZ_SECONDS sets the length of each
# fuzzing run (default 20).
#
# Every preset is built and tested even when the format check or an earlier preset failed; a
# summary of all of them ends the output, and the exit status is non-zero when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=${LUMIPOD_TEST_PRESETS:-dev asan release clang fuzz mingw}
# shellcheck disable=SC2086  # one word per preset
bash scripts/setup.sh ${presets}
jobs=${LUMIPOD_JOBS:-2}

summary=()
failed=0
step_started=${SECONDS}
# Records how a step fared and how long it took since the last step ended.
record() {
  [[ $2 == passed ]] || failed=$((failed + 1))
  summary+=("$1: $2 ($((SECONDS - step_started)) s)")
  step_started=${SECONDS}
}

# Habits checked before anything is built: the sources as clang-format writes them.
echo "=== format: clang-format over the tracked C++ sources"
if bash scripts/check-format.sh; then record format passed; else record format FAILED; fi
# and clang-tidy's checks for real faults over the module and hostsim (.clang-tidy).
echo "=== tidy: clang-tidy over the module's and hostsim's sources"
if bash scripts/check-tidy.sh; then record tidy passed; else record tidy FAILED; fi

configure() {
  if [[ $1 == fuzz ]]; then
    cmake --preset fuzz -DLUMIPOD_FUZZ_SMOKE_SECONDS="${LUMIPOD_FUZZ_SECONDS:-20}" >/dev/null
  else
    cmake --preset "$1" >/dev/null
  fi
}

# The packages, checked as a user meets them: the .tar.gz and .deb of the Linux release build,
# the .zip of the Windows one (scripts/check-packages.sh). Other presets make none.
packages() {
  case $1 in
    release)
      echo "=== $1: packages"
      cpack --preset release >/dev/null && bash scripts/check-packages.sh linux build/release
      ;;
    mingw)
      echo "=== $1: packages"
      cpack --preset mingw >/dev/null && bash scripts/check-packages.sh windows build/mingw
      ;;
  esac
}

for preset in ${presets}; do
  echo "=== ${preset}: configure and build"
  if ! configure "${preset}"; then
    record "${preset}" "FAILED to configure"
  elif ! cmake --build --preset "${preset}" -j "${jobs}"; then
    record "${preset}" "FAILED to build"
  else
    echo "=== ${preset}: test"
    if ! ctest --preset "${preset}" -j "${jobs}"; then
      record "${preset}" "FAILED its tests"
    elif ! packages "${preset}"; then
      record "${preset}" "FAILED its packages"
    else
      record "${preset}" passed
    fi
  fi
done

echo "=== summary"
printf '  %s\n' "${summary[@]}"
if ((failed > 0)); then
  echo "=== ${failed} of ${#summary[@]} failed"
  exit 1
fi
echo "=== all ${#summary[@]} passed"

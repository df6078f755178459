#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (idempotent: packages already
# present are not fetched again).
#
#   setup.sh [PRESET...]
#
# The presets to be built may add packages: "mingw" needs the MinGW-w64 cross compiler and
# Wine (taken without Wine's recommended desktop libraries, which a headless run never uses),
# "asan" and "fuzz" the C library's debugging symbols, "release" and "package" Doxygen for the
# host interface reference they build and package.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format clang-tidy binutils
  # clang's sanitizer and libFuzzer runtimes, for the fuzz preset
  libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libtinyobjloader-dev
  # the .deb package's dependencies are found with dpkg-shlibdeps, which needs file
  dpkg-dev file
  # an XML parser, for the test that reads hostsim check's JUnit file
  libexpat1-dev
  # hostsim check --memcheck runs the checks under it
  valgrind
  # hostsim's renderer: offscreen OpenGL through EGL with Mesa's software renderer, the
  # window, the HUD font, PNG files; and a virtual X display to test the window under
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libsdl2-dev libstb-dev
  fonts-dejavu-core xvfb xdotool imagemagick
)
lean=()  # installed without their recommended packages
for preset in "$@"; do
  case "${preset}" in
    mingw) lean+=(g++-mingw-w64-x86-64-posix wine64) ;;
    # the C library's debugging symbols: LeakSanitizer's suppressions name the dynamic
    # loader's own allocations by its source (tests/sanitizers/lsan.supp)
    asan | fuzz) packages+=(libc6-dbg) ;;
    release | package) packages+=(doxygen) ;;
  esac
done
if [[ -n "${LUMIPOD_EXTRA_PACKAGES:-}" ]]; then
  read -r -a extra <<<"${LUMIPOD_EXTRA_PACKAGES}"
  packages+=("${extra[@]}")
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_lean=()
for p in "${lean[@]}"; do
  installed "$p" || missing_lean+=("$p")
done
if ((${#missing[@]} == 0 && ${#missing_lean[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]} ${missing_lean[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
if ((${#missing[@]} > 0)); then
  $sudo apt-get install -y -qq "${missing[@]}"
fi
if ((${#missing_lean[@]} > 0)); then
  $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
fi

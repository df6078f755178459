#!/usr/bin/env bash
# Checks the packages CPack made of a build, as a user meets them: unpacked or installed away
# from the repository and run from an unrelated folder.
#
#   check-packages.sh linux BUILD_DIR     the .tar.gz and the .deb in BUILD_DIR/packages
#   check-packages.sh windows BUILD_DIR   the .zip in BUILD_DIR/packages, run under Wine
#
# Every package must hold the paths its README names (tests/install/check_readme_paths.cmake).
# linux: the .tar.gz is unpacked into a fresh prefix, whose hostsim must print its version and
# run the demo session without --root; the example module the package ships
# (share/doc/lumipod/examples/buoy), copied out of it, is built against that prefix alone and
# its tests run (its session, and hostsim check on it). As root the .deb is installed with
# dpkg -i as well and checked the same way against /usr (and purged again unless it was
# installed before).
# windows: the .zip is unpacked and its hostsim.exe runs the demo session under Wine; it
# writes a project with `hostsim new` (under Wine, as a user on Windows runs it), which is built
# with the MinGW toolchain against the unpacked package alone and passes its tests, which run
# hostsim.exe under Wine.
set -euo pipefail

if (($# != 2)) || [[ $1 != linux && $1 != windows ]]; then
  echo "usage: $0 linux|windows BUILD_DIR" >&2
  exit 2
fi
kind=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$2" && pwd)
packages=${build}/packages
check_cli=${repo}/tests/sessions/check_cli.cmake
check_readme=${repo}/tests/install/check_readme_paths.cmake
expected=${repo}/tests/sessions/demo.expected
version=$(sed -n 's/^project(lumipod VERSION \([0-9.]*\).*/\1/p' "${repo}/CMakeLists.txt")
started=${SECONDS}

work=$(mktemp -d)
deb_installed=""
cleanup() {
  if [[ -n ${deb_installed} ]]; then
    dpkg --purge lumipod >/dev/null || echo "check-packages: could not remove the lumipod package" >&2
  fi
  rm -rf "${work}"
}
trap cleanup EXIT

# The one package of the pattern in BUILD_DIR/packages.
package() {
  local found=("${packages}"/$1)
  if ((${#found[@]} != 1)) || [[ ! -f ${found[0]} ]]; then
    echo "check-packages: expected one ${packages}/$1 (run cpack first)" >&2
    exit 1
  fi
  echo "${found[0]}"
}

# check_demo HOSTSIM SESSION [EMULATOR]: runs the demo session from a fresh folder with
# nothing beside it, without --root, and compares its output with the demo's expected one.
# The session is named by a relative path: the Windows program's command line takes an
# argument that starts with '/' for an option.
check_demo() {
  local dir session
  dir=$(mktemp -d "${work}/elsewhere.XXXX")
  session=$(realpath --relative-to="${dir}" "$2")
  (cd "${dir}" && cmake -DHOSTSIM="$1" "-DEMULATOR=${3:-}" -DWORKDIR="${dir}" \
    "-DARGS=run|${session}|--out|out" -DSTDOUT_FILE="${expected}" -P "${check_cli}")
  (cd "${dir}" && cmake -DHOSTSIM="$1" "-DEMULATOR=${3:-}" -DWORKDIR="${dir}" \
    -DARGS=--version "-DSTDOUT_REGEX=^hostsim ${version}"$'\n$' -P "${check_cli}")
  echo "check-packages: $1 runs the demo session from an unrelated folder"
}

# check_readme ROOT: the paths the README in ROOT/share/doc/lumipod names are there.
check_readme() {
  cmake -DREADME="$1/share/doc/lumipod/README.md" -P "${check_readme}"
}

# build_project SRC [CMAKE_ARG...]: configures the module project in SRC into SRC/build with
# the arguments, never from CMake's package registry, builds it and runs its tests.
build_project() {
  local src=$1
  shift
  cmake -S "${src}" -B "${src}/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF "$@" >/dev/null
  cmake --build "${src}/build"
  ctest --test-dir "${src}/build" --output-on-failure
}

# check_module NAME PREFIX: copies the example module out of the package installed in PREFIX
# (empty: /usr), builds it finding hostsim in PREFIX only (empty: the system's folders), and
# runs its tests: its session script and `hostsim check` on it.
check_module() {
  local name=$1 prefix=$2 src="${work}/buoy-$1"
  cp -r "${prefix:-/usr}/share/doc/lumipod/examples/buoy" "${src}"
  build_project "${src}" ${prefix:+"-DCMAKE_PREFIX_PATH=${prefix}"}
  echo "check-packages: the example module builds against the ${name} package and passes"
}

# check_new_windows PREFIX: the unpacked .zip's hostsim.exe writes a project with `hostsim new`
# in a fresh folder, under Wine; it is built with the MinGW toolchain and its tests run
# hostsim.exe under Wine, in the build's Wine prefix. The toolchain keeps CMake's package
# search inside its own system root, so the package's folder is named itself.
check_new_windows() {
  local dir="${work}/new-win" wine=("${repo}/cmake/wine-run.sh" "${build}/wineprefix")
  mkdir "${dir}"
  (cd "${dir}" && "${wine[@]}" "$1/bin/hostsim.exe" new windsock >/dev/null)
  build_project "${dir}/windsock" "-DCMAKE_TOOLCHAIN_FILE=${repo}/cmake/mingw-w64.cmake" \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=${wine[0]};${wine[1]}" "-Dhostsim_DIR=$1/lib/cmake/hostsim"
  echo "check-packages: a project hostsim.exe new writes builds against the zip and passes"
}

if [[ ${kind} == linux ]]; then
  tgz=$(package "lumipod-*-Linux.tar.gz")
  mkdir "${work}/tgz"
  tar -xzf "${tgz}" -C "${work}/tgz"
  prefix=$(echo "${work}"/tgz/lumipod-*)
  check_demo "${prefix}/bin/hostsim" "${prefix}/share/hostsim/examples/sessions/demo.session"
  check_readme "${prefix}"
  check_module tgz "${prefix}"

  if [[ $(id -u) -eq 0 ]] && command -v dpkg >/dev/null; then
    deb=$(package "lumipod_*.deb")
    if ! dpkg-query -W -f='${Status}' lumipod 2>/dev/null | grep -q 'install ok installed'; then
      deb_installed=yes
    fi
    dpkg -i "${deb}" >/dev/null
    check_demo /usr/bin/hostsim /usr/share/hostsim/examples/sessions/demo.session
    check_readme /usr
    check_module deb ""
  else
    echo "check-packages: not root, the .deb is not installed"
  fi
else
  zip=$(package "lumipod-*-win64.zip")
  mkdir "${work}/zip"
  (cd "${work}/zip" && cmake -E tar xf "${zip}")
  prefix=$(echo "${work}"/zip/lumipod-*)
  # Wine's prefix is the build's own (made once by its tests); the program comes from the zip.
  check_demo "${prefix}/bin/hostsim.exe" "${prefix}/share/hostsim/examples/sessions/demo.session" \
    "${repo}/cmake/wine-run.sh|${build}/wineprefix"
  check_readme "${prefix}"
  check_new_windows "${prefix}"
fi
echo "check-packages: ${kind} packages checked in $((SECONDS - started)) s"

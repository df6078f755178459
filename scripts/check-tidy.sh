#!/usr/bin/env bash
# Runs clang-tidy 14 with the repository's .clang-tidy over the sources of the module and of
# hostsim that the dev preset builds, with that build's compile commands (the preset is
# configured first when they are missing). Fails on any finding, naming file and line. The one
# file that only compiles a header library's implementation (the PNG encoder) is left out.
set -euo pipefail
cd "$(dirname "$0")/.."

tidy=clang-tidy-14
command -v "${tidy}" >/dev/null || tidy=clang-tidy
build=build/dev
[[ -f ${build}/compile_commands.json ]] || cmake --preset dev >/dev/null

root=$(pwd)
mapfile -t files < <(
  grep -o '"file": "[^"]*"' "${build}/compile_commands.json" | sed 's/^"file": "//; s/"$//' |
    grep -E "^${root}/(module|lamp|attach|ui|persist|hostsim)/" |
    grep -v "^${root}/hostsim/render/png_encoder.cpp$" | sort -u)
printf '%s\n' "${files[@]}" |
  xargs -P "${LUMIPOD_JOBS:-2}" -n 4 "${tidy}" -p "${build}" --quiet
echo "tidy: ${#files[@]} files without findings"

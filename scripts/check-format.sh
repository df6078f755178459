#!/usr/bin/env bash
# Fails when a tracked C++ source is not as clang-format 14 (with the repository's
# .clang-format) would write it, naming each file and line; `clang-format -i FILE` mends it.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
command -v "${format}" >/dev/null || format=clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
"${format}" --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as clang-format writes them"

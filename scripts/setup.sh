#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (idempotent: packages already
# present are not fetched again).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libtinyobjloader-dev
)
if [[ -n "${LUMIPOD_EXTRA_PACKAGES:-}" ]]; then
  read -r -a extra <<<"${LUMIPOD_EXTRA_PACKAGES}"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"

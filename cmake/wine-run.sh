#!/usr/bin/env bash
# Runs a Windows program of the MinGW build under Wine:
#
#   wine-run.sh PREFIX PROGRAM.exe [ARG...]
#
# PREFIX is the Wine prefix (a folder of the build tree); it is created on first use, once,
# even when several tests start at the same time. Wine's own diagnostics are silenced; the
# program's exit status is passed on.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 PREFIX PROGRAM [ARG...]" >&2
  exit 2
fi
# Wine wants an absolute prefix.
WINEPREFIX=$(realpath -m -- "$1")
export WINEPREFIX
shift

# Debian's wine64 package keeps its loader outside PATH; the wine package links it in.
wine=""
for candidate in "${LUMIPOD_WINE:-}" wine64 /usr/lib/wine/wine64 wine; do
  if [[ -n "${candidate}" ]] && command -v "${candidate}" >/dev/null 2>&1; then
    wine=$(command -v "${candidate}")
    break
  fi
done
if [[ -z "${wine}" ]]; then
  echo "$0: no Wine found (install wine64, or set LUMIPOD_WINE)" >&2
  exit 127
fi

export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would stall a headless run.
export WINEDLLOVERRIDES="mscoree=;mshtml=${WINEDLLOVERRIDES:+;${WINEDLLOVERRIDES}}"
# Keep Wine off any display the caller may have.
unset DISPLAY WAYLAND_DISPLAY

# Wine writes its registry files lazily, so readiness is marked by a file of our own.
ready="${WINEPREFIX}/.lumipod-ready"
if [[ ! -f "${ready}" ]]; then
  mkdir -p "$(dirname "${WINEPREFIX}")"
  (
    flock 9
    if [[ ! -f "${ready}" ]]; then
      "${wine}" wineboot --init >"${WINEPREFIX}.log" 2>&1 || {
        echo "$0: creating the Wine prefix ${WINEPREFIX} failed; see ${WINEPREFIX}.log" >&2
        exit 1
      }
      touch "${ready}"
    fi
  ) 9>"${WINEPREFIX}.lock"
fi

exec "${wine}" "$@"

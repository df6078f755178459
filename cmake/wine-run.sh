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
# Keep Wine off any display the caller may have, but for one asked for by name in
# LUMIPOD_WINE_DISPLAY (the virtual display of wine-display-run.sh).
unset DISPLAY WAYLAND_DISPLAY
if [[ -n "${LUMIPOD_WINE_DISPLAY:-}" ]]; then
  export DISPLAY="${LUMIPOD_WINE_DISPLAY}"
fi

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

# A Wine program talks to one wineserver per prefix, which Wine starts on demand and which
# ends a few seconds after its last program. A program that starts just as the server ends
# fails with "wine client error: ... Connection reset by peer" before it runs at all. So a
# server that stays for a minute after its last program is started first (this fails
# harmlessly when one runs already); it must not hold the caller's output open.
server=""
for candidate in "$(dirname "${wine}")/wineserver" wineserver64 wineserver; do
  if command -v "${candidate}" >/dev/null 2>&1; then
    server=$(command -v "${candidate}")
    break
  fi
done
if [[ -n "${server}" ]]; then
  "${server}" -p60 </dev/null >/dev/null 2>&1 || true
fi

# Should a program still meet a server that is ending, it is run again: the error comes
# before the program starts, so nothing of it has run. The same holds for a run that ended in
# failure without a byte on either output: every program run here says something when it
# fails, so Wine did not start it. Its error output goes through a file for that (and then
# on, after its standard output), and its standard output is copied to a file as it passes.
errors=$(mktemp)
output=$(mktemp)
trap 'rm -f "${errors}" "${output}"' EXIT
status=0
for attempt in 1 2 3; do
  status=0
  "${wine}" "$@" 2>"${errors}" | tee "${output}" || status=$?
  cat "${errors}" >&2
  if ((status == 0)); then
    break
  elif grep -q '^wine client error:' "${errors}"; then
    echo "$0: the wineserver went away (attempt ${attempt}); running $1 again" >&2
  elif [[ ! -s "${errors}" && ! -s "${output}" ]]; then
    echo "$0: $1 ended with status ${status} before it printed anything (attempt ${attempt});" \
      "running it again" >&2
  else
    break
  fi
  sleep 1
done
exit "${status}"

#!/usr/bin/env bash
# Runs a Windows program of the MinGW build under Wine on a virtual X display of its own, for
# what needs OpenGL (Wine's OpenGL goes through the X display, to Mesa's software renderer):
#
#   wine-display-run.sh PREFIX PROGRAM.exe [ARG...]
#
# As wine-run.sh, whose PREFIX should be one for display runs alone: the Wine server of the
# prefix is ended with the run, since its desktop process holds the display that goes with it.
# The display's name is in LUMIPOD_WINE_DISPLAY for the program's own helpers. Needs Xvfb.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 PREFIX PROGRAM [ARG...]" >&2
  exit 2
fi
here=$(dirname "$(realpath -- "$0")")
prefix=$(realpath -m -- "$1")
shift

# Without Xvfb the program runs without a display: what needs none (the tests' listing) works,
# and what needs one fails saying there is no desktop.
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "$0: Xvfb is not installed: running without a display" >&2
  exec "${here}/wine-run.sh" "${prefix}" "$@"
fi
folder=$(mktemp -d)
xvfb=""
cleanup() {
  WINEPREFIX="${prefix}" "${server:-wineserver}" -k >/dev/null 2>&1 || true
  if [[ -n "${xvfb}" ]]; then
    kill "${xvfb}" 2>/dev/null || true
    wait "${xvfb}" 2>/dev/null || true
  fi
  rm -rf "${folder}"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"${folder}/display" \
  >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 300); do
  [[ -s "${folder}/display" ]] && break
  kill -0 "${xvfb}" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -s "${folder}/display" ]]; then
  echo "$0: Xvfb did not start" >&2
  exit 1
fi
LUMIPOD_WINE_DISPLAY=":$(head -n1 "${folder}/display")"
export LUMIPOD_WINE_DISPLAY

server=""
for candidate in "$(dirname "$(command -v "${LUMIPOD_WINE:-wine64}" 2>/dev/null || echo /usr/lib/wine/wine64)")/wineserver" \
  /usr/lib/wine/wineserver wineserver64 wineserver; do
  if command -v "${candidate}" >/dev/null 2>&1; then
    server=$(command -v "${candidate}")
    break
  fi
done

status=0
"${here}/wine-run.sh" "${prefix}" "$@" || status=$?
exit "${status}"

#!/usr/bin/env bash
# hostsim.exe under Wine on a virtual X display, as the Linux tests run hostsim under Xvfb:
# `render` draws the demo and a scene of shadows as the Linux build does
# (tests/render/demo-320x200.png, shadows-320x200.png, within a small tolerance), and the
# window, driven by real key events (xdotool) as play_test.cpp drives the Linux one, records
# a session that `run` replays to the same scenario.
#
#   wine_play_test.sh WINE_RUN PREFIX HOSTSIM_EXE SOURCE_DIR
set -euo pipefail

wine_run=$1
prefix=$2
exe=$3
source=$4
work=$(mktemp -d)
xvfb=""
player=""

cleanup() {
  if [[ -n "${player}" ]] && kill -0 "${player}" 2>/dev/null; then kill "${player}" || true; fi
  WINEPREFIX=$(realpath -m -- "${prefix}") wineserver -k >/dev/null 2>&1 ||
    WINEPREFIX=$(realpath -m -- "${prefix}") /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  if [[ -n "${xvfb}" ]]; then
    kill "${xvfb}" 2>/dev/null || true
    wait "${xvfb}" 2>/dev/null || true
  fi
  rm -rf "${work}"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in play.log session.txt; do
    [[ -f "${work}/${f}" ]] && { echo "--- ${f}" >&2; cat "${work}/${f}" >&2; }
  done
  exit 1
}

# Waits up to $1 seconds (a guard against a hang, not a measure) for the command after it.
wait_for() {
  local limit=$1
  shift
  for _ in $(seq 1 $((limit * 10))); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"${work}/display" \
  >/dev/null 2>&1 &
xvfb=$!
wait_for 30 test -s "${work}/display" || fail "Xvfb did not start"
DISPLAY=":$(head -n1 "${work}/display")"
export DISPLAY LUMIPOD_WINE_DISPLAY="${DISPLAY}"
cd "${work}"

# The demo's picture, and a scene of shadows.
for scene in demo shadows; do
  "${wine_run}" "${prefix}" "${exe}" render "${source}/examples/scenarios/${scene}.scn" \
    "${scene}.png" --size 320x200 || fail "hostsim.exe render of ${scene}.scn failed"
  differing=$(compare -metric AE -fuzz 10% "${scene}.png" \
    "${source}/tests/render/${scene}-320x200.png" null: 2>&1 || true)
  [[ "${differing}" =~ ^[0-9]+$ ]] || fail "cannot compare the ${scene} pictures: ${differing}"
  ((differing < 640)) || fail "${differing} of 64000 pixels of ${scene}.png differ from Linux's"
done

# A session in the window.
printf 'FOCUS Lamp\nVESSEL Lamp lumipod\n  POS 0 0.37 0\n  SPT 0 40.0 0.7\n  GBL 0.42000 0.00000\nEND\n' \
  >play.scn
"${wine_run}" "${prefix}" "${exe}" play play.scn --size 400x300 --record session.txt \
  >play.log 2>&1 &
player=$!
window=""
find_window() {
  window=$(xdotool search --onlyvisible --name '^hostsim' 2>/dev/null | head -n1)
  [[ -n "${window}" ]] && timeout 10 xdotool windowfocus --sync "${window}" 2>/dev/null
}
wait_for 120 find_window || fail "no window"

xdotool key --delay 60 b
xdotool keydown k
sleep 1 # the intensity ramps up while K is held
xdotool keyup k
xdotool key --delay 60 n # the range box, answered
xdotool type --delay 40 31.5
xdotool key --delay 60 Return m Escape # the spread box, cancelled
xdotool key --delay 60 shift+Left      # a press with a modifier
xdotool keydown shift
xdotool keydown Right # held keys with a modifier held
sleep 0.5
xdotool keyup Right
xdotool keyup shift
xdotool key --delay 60 F2 Return # saved to a new file beside the scenario
wait_for 60 test -s play-1.scn || fail "F2 saved nothing"
xdotool key --delay 60 Escape
wait_for 60 bash -c "! kill -0 ${player} 2>/dev/null" || fail "the window did not close"
wait "${player}" || fail "hostsim.exe play ended with status $?"
player=""

for line in "press B" "press K" "type 31.5" "cancel" "press Shift+Left" "press Shift+Right" \
  "save play-1.scn"; do
  grep -qx "${line}" session.txt || fail "\"${line}\" is not in the recording"
done
"${wine_run}" "${prefix}" "${exe}" run session.txt --out replay >replay.log 2>&1 ||
  fail "the replay failed: $(cat replay.log)"
cmp -s replay/play-1.scn play-1.scn || fail "the replay saved another scenario"
grep -q "SPT 1 31.5000" play-1.scn || fail "the range typed is not in the saved scenario"
echo "render and play under Wine: as on Linux"

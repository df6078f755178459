#!/usr/bin/env bash
# Sets up the machine, builds the host and the lamp module, and runs the demo session: the
# lamp is switched, aimed, dimmed, given a range and a spread, hung on a tug, fine-placed,
# saved and reloaded. Saved scenarios, the trace of every host call and a before/after pair of
# pictures (out/before.png: the lamp off and dark; out/after.png: on, aimed, on the tug) go to
# out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh release >&2
cmake --preset release >/dev/null
cmake --build --preset release -j "${LUMIPOD_JOBS:-2}" --target hostsim lumipod >&2
mkdir -p out
hostsim=build/release/bin/hostsim
"$hostsim" run examples/sessions/demo.session --out out --trace out/demo.trace "$@"

# The pictures need the renderer, which is built when its packages are present.
if "$hostsim" --help | grep -q '^ *render'; then
  "$hostsim" render examples/scenarios/demo.scn out/before.png --size 960x600
  "$hostsim" render out/saved/demo.scn out/after.png --size 960x600
  echo "pictures: out/before.png (lamp off), out/after.png (lamp on, aimed, on the tug)"
fi

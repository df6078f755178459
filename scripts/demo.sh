#!/usr/bin/env bash
# Sets up the machine, builds the host and the lamp module, and runs the demo session: the
# lamp is switched, aimed, dimmed, given a range and a spread, hung on a tug, fine-placed,
# saved and reloaded. Saved scenarios, the trace of every host call and a before/after pair of
# pictures go to out/: out/before.png, the demo scenario, where the focused lamp (Lamp2, on the
# ground) is off and the one on the tug (Lamp1) is on; out/after.png, the saved scenario, where
# both are on and hang on the tug, Lamp2 aimed and lighting the ground; out/shadows.png, a
# lamp on the ground and one on the deck, the tug's shadows in their beams.
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
  "$hostsim" render examples/scenarios/shadows.scn out/shadows.png --size 960x600
  echo "pictures: out/before.png (Lamp2 off on the ground, Lamp1 on the tug lit)," \
    "out/after.png (both lit on the tug, Lamp2 aimed), out/shadows.png (the tug's shadows" \
    "in two beams)"
fi

#!/usr/bin/env bash
# Sets up the machine, builds the host and the lamp module, and runs the demo session: the
# lamp is switched, aimed, dimmed, given a range and a spread, hung on a tug, fine-placed,
# saved and reloaded. Saved scenarios and the trace go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release -j "${LUMIPOD_JOBS:-2}" --target hostsim lumipod >&2
mkdir -p out
exec build/release/bin/hostsim run examples/sessions/demo.session --out out --trace out/demo.trace "$@"

#!/usr/bin/env bash
# A long fuzzing run of one target of the fuzz preset's build, in the environment of every
# sanitizer run (cmake/TestEnvironment.cmake, as the sanitizer builds' tests have it). New
# inputs are kept in build/fuzz/fuzz/work/TARGET/corpus beside the seeds of fuzz/corpus/TARGET;
# findings are written to build/fuzz/fuzz/work/TARGET/artifacts/.
#
#   fuzz.sh TARGET [SECONDS [LIBFUZZER-OPTION...]]     SECONDS defaults to 3600
#   e.g. fuzz.sh session 3600 -jobs=2 -workers=2
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 1)) || [[ ${2:-3600} =~ [^0-9] ]]; then
  echo "usage: scripts/fuzz.sh TARGET [SECONDS [LIBFUZZER-OPTION...]]" >&2
  exit 2
fi
target=$1
seconds=${2:-3600}
shift $(($# < 2 ? $# : 2))

program=build/fuzz/bin/fuzz_${target}
if [[ ! -x ${program} ]]; then
  echo "fuzz.sh: no ${program}; build it with: cmake --preset fuzz && cmake --build --preset fuzz" >&2
  exit 2
fi
environment=$(cmake -P cmake/sanitizer-env.cmake)
while IFS='=' read -r name value; do
  export "${name}=${value}"
done <<<"${environment}"

work=build/fuzz/fuzz/work/${target}
mkdir -p "${work}/corpus" "${work}/artifacts"
exec "${program}" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=3072 \
  -artifact_prefix="${work}/artifacts/" "$@" "${work}/corpus" "fuzz/corpus/${target}"

#!/usr/bin/env bash
# Builds the correctors and runs them on the bundled demo recording.
# Installs only the build tools and builds only the console programs (qorta
# too where libsndfile is), the demo recording and the measuring tool;
# scripts/test.sh installs and builds the rest. Ends with what the correction
# did: DC offset, peak, RMS and the level below 120 Hz of every channel,
# before and after each corrector.
#
#   scripts/demo.sh             install what is missing, build, correct the demo recording into out/
#   scripts/demo.sh --dry-run   install and run nothing: configure and list what the build would do
#
# QORTA_DEMO_BUILD_DIR names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QORTA_DEMO_BUILD_DIR:-build}
dry_run=""
case ${1:-} in
  "") ;;
  --dry-run) dry_run=-n ;;
  *) echo "usage: scripts/demo.sh [--dry-run]" >&2; exit 2 ;;
esac

[[ -n $dry_run ]] || scripts/setup.sh build
# A new build folder gets neither tests nor benchmarks; an existing one (as
# scripts/test.sh leaves it) keeps its settings.
options=(-DCMAKE_BUILD_TYPE=Release)
[[ -e $build/CMakeCache.txt ]] || options+=(-DQORTA_BUILD_TESTS=OFF -DQORTA_BUILD_BENCH=OFF)
cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
targets=(qortaiir qortafir demo_wav qorta_measure)
# qorta is built where libsndfile was found.
grep -q '^SNDFILE_FOUND:INTERNAL=1$' "$build/CMakeCache.txt" && targets+=(qorta)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" ${dry_run:+-- "$dry_run"}
[[ -z $dry_run ]] || exit 0

mkdir -p out
for program in "$build/qortaiir" "$build/qortafir"; do
  [[ -x $program ]] || continue
  name=$(basename "$program")
  "$program" -y "$build/samples/demo.wav" "out/demo_${name#qorta}.wav"
done
# qorta: the same correction for files of any format, here into FLAC with
# its peak at -1 dBFS, and its report.
if [[ -x $build/qorta ]]; then
  echo
  "$build/qorta" --quiet --overwrite --peak -1 --format flac -o out/demo_qorta.flac "$build/samples/demo.wav"
fi
echo
echo "input:   $build/samples/demo.wav"
echo "results: $(ls out/demo_* | tr '\n' ' ')"
echo
echo "before and after (levels in dBFS; the bass boost shows below 120 Hz):"
"$build/tools/measure/qorta_measure" "before=$build/samples/demo.wav" \
  "qortaiir=out/demo_iir.wav" "qortafir=out/demo_fir.wav"

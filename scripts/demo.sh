#!/usr/bin/env bash
# Builds the correctors and runs them on the bundled demo recording.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

mkdir -p out
for program in build/qortaiir build/qortafir; do
  [[ -x $program ]] || continue
  name=$(basename "$program")
  "$program" -y build/samples/demo.wav "out/demo_${name#qorta}.wav"
done
echo
echo "input:   build/samples/demo.wav"
echo "results: $(ls out/demo_*.wav | tr '\n' ' ')"

#!/usr/bin/env bash
# The demo builds the two console programs, the demo recording and the
# measuring tool, and nothing else: in a new build folder, scripts/demo.sh --dry-run lists the
# steps of exactly those targets (no test, benchmark, fuzz, plug-in, tool or
# manual page step).
#
#   check_demo_build.sh SOURCE_DIR SCRATCH_BUILD_DIR
set -euo pipefail
source_dir=$1 scratch=$2
rm -rf "$scratch"
plan=$(NINJA_STATUS="[%f/%t] " QORTA_DEMO_BUILD_DIR="$scratch" "$source_dir/scripts/demo.sh" --dry-run)
rm -rf "$scratch"

wanted='^\[[0-9]+/[0-9]+\] ('
wanted+='Building CXX object (platform/CMakeFiles/qorta_platform|dsp/CMakeFiles/qorta_dsp|'
wanted+='console/CMakeFiles/(qorta_console|qortaiir|qortafir)|tools/CMakeFiles/(make_demo_wav|qorta_sample_file)|'
wanted+='tools/response/CMakeFiles/qorta_svg_plot|tools/measure/CMakeFiles/qorta_measure|'
wanted+='qorta_build/CMakeFiles/(qorta_files|qorta))\.dir/[^ ]+\.o'
wanted+='|Linking CXX static library (platform/libqorta_platform|dsp/libqorta_dsp|console/libqorta_console|'
wanted+='tools/libqorta_sample_file|tools/response/libqorta_svg_plot|qorta_build/libqorta_files)\.a'
wanted+='|Linking CXX executable (qortaiir|qortafir|qorta|tools/make_demo_wav|tools/measure/qorta_measure)'
wanted+='|Generating the demo recording)$'
unwanted=$(grep -Ev "$wanted" <<<"$plan" || true)
if [[ -n $unwanted ]]; then
  echo "the demo does more than build the programs, the demo recording and the measuring tool:"
  echo "$unwanted"
  exit 1
fi
for step in "Linking CXX executable qortaiir" "Linking CXX executable qortafir" "Generating the demo recording" \
    "Linking CXX executable tools/measure/qorta_measure"; do
  if ! grep -q "] $step\$" <<<"$plan"; then
    echo "the demo does not build: $step"
    echo "$plan"
    exit 1
  fi
done

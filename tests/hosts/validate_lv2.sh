#!/usr/bin/env bash
# validate_lv2.sh BUNDLE: the bundle's descriptions checked against the LV2
# schemas (lv2-dev, /usr/lib/lv2) by sord_validate, which must find no error.
# Exits 77 (skipped) when sord_validate or the schemas are not installed.
set -euo pipefail
bundle=$1
command -v sord_validate >/dev/null 2>&1 || { echo "sord_validate is not installed: skipped"; exit 77; }
schemas=(/usr/lib/lv2/*.lv2/*.ttl)
[[ -e ${schemas[0]} ]] || { echo "the LV2 schemas are not installed: skipped"; exit 77; }
out=$(sord_validate "${schemas[@]}" "$bundle"/*.ttl 2>&1)
echo "$out"
[[ $out == *"Found 0 errors"* ]]

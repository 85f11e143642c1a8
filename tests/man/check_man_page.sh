#!/usr/bin/env bash
# check_man_page.sh PAGE PROGRAM SOURCE_DIR
# Renders the manual page PAGE with man and fails on any warning from the
# formatter, on a NAME line that whatis cannot read, or when a message or
# option that PROGRAM prints is missing from the page. For the plug-ins' page
# (PROGRAM qorta-plugins) it checks instead that every URI, label and ID of
# the plug-ins is listed. Exits 77 (skipped) where man is not installed.
set -euo pipefail
page=$1 program=$2 source_dir=$3

command -v man >/dev/null 2>&1 || { echo "man is not installed: skipped"; exit 77; }

warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
if [[ -n $warnings ]]; then
  echo "man reports warnings for $page:"; echo "$warnings"; exit 1
fi
text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | col -b 2>/dev/null || MANWIDTH=80 man -l "$page")
# One line with single spaces (col -b leaves tabs), so that phrases broken
# across lines match.
flat=$(tr '\n\t' '  ' <<<"$text" | tr -s ' ')

fail=0
need() {
  if [[ $flat != *"$1"* ]]; then echo "missing from $page: $1"; fail=1; fi
}

if command -v lexgrog >/dev/null 2>&1; then
  lexgrog "$page" | grep -q ": \"$program - " || { echo "whatis cannot read the NAME line of $page"; fail=1; }
fi

if [[ $program == qorta-plugins ]]; then
  for section in NAME DESCRIPTION PLUG-INS CONTROLS LATENCY "DC REMOVAL" FILES EXAMPLES; do need "$section"; done
  # The stable names and numbers, as the plug-ins' sources define them.
  kinds=$(grep -o '"urn:qorta:[a-z-]*", [0-9]*, "[a-z_]*"' "$source_dir/hostglue/plugin_kinds.h" | tr -d '",')
  [[ $(wc -l <<<"$kinds") -eq 4 ]] || { echo "cannot read the four plug-in kinds"; exit 1; }
  while read -r uri id label; do need "$uri $label $id"; done <<<"$kinds"
  exit $fail
fi

if [[ $program == qorta ]]; then
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "STANDARD INPUT AND OUTPUT" METADATA REPORT DIAGNOSTICS \
    "EXIT STATUS" EXAMPLES; do need "$section"; done
  # Every long option of the program's help, and the fixed start of every
  # failure message its sources return.
  while IFS= read -r option; do need "$option"; done < <(grep -o -- '--[a-z-]*' "$source_dir/qorta/options.cpp" | sort -u)
  for message in "not an audio file that libsndfile reads" "the file is empty" "the file is cut short" \
    "the file ends early" "qorta corrects 1 to" "qorta needs at least" "the FIR kernel of quality" \
    "holds a sample that is not a finite number" "cannot create a file in" "of the output" \
    "is an input of this run" "is already the output of" "exists and is kept" "to standard output"; do
    need "$message"
    grep -rqF -- "$message" "$source_dir/qorta" || { echo "no longer in the sources: $message"; fail=1; }
  done
  exit $fail
fi

for section in NAME SYNOPSIS DESCRIPTION MODES OPTIONS "THE OVERWRITE QUESTION" DIAGNOSTICS "EXIT STATUS" EXAMPLES; do
  need "$section"
done

# Every fixed message of the console programs. The multi-file "illegal
# filename" message needs a name without a file-name part, which a name
# ending in .wav always has on this platform, so it is not listed.
common=("ERROR : illegal filename or dir." "ERROR! cannot open file to read" "ERROR! illegal wav format"
        "ERROR! out of memory" "ERROR! cannot read file" "ERROR! cannot open file to write"
        "ERROR! cannot write file" "WARN! Cliped" "already exist. overwrite?(y/n)" "processing file"
        "wav info:" "elapse")
for message in "${common[@]}"; do need "$message"; done
# And every message the program's sources print, so that a new one cannot
# go unlisted (the other program's streaming stage left out).
other=$([[ $program == qortafir ]] && echo iir || echo fir)
sources=()
for file in "$source_dir"/console/*.cpp; do
  [[ $file == */${other}_stream.cpp || $file == */qorta${other}_main.cpp ]] || sources+=("$file")
done
while IFS= read -r message; do
  [[ $message == "ERROR! illegal filename" ]] && continue
  need "$message"
done < <(grep -ho 'printf("\(ERROR\|WARN\)[^"%\\]*' "${sources[@]}" | sed 's/^printf("//; s/ *$//' | sort -u)

for option in -e -g -i -o -y -n; do need "$option"; done
if [[ $program == qortafir ]]; then
  need "-q value"; need "ERROR! quality out of range"; need "Setting: Quality="
else
  need "Setting: Effect="
fi
exit $fail

#!/usr/bin/env bash
# Runs the shell commands that README.md and the pages of docs/ show, so that
# they stay true. Every ```sh block is run as one `bash -euo pipefail` script,
# in order, in a scratch copy of the sources whose build/ is the build under
# test, with a few example inputs beside it (in.wav, in.mp4, in.mkv, take.flac,
# recordings/). A block is not run when the line before its fence is
#   <!-- not run: REASON -->
# or when it calls a program that is not installed (it is then listed).
#
#   check_doc_commands.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR
set -uo pipefail
source_dir=$(cd "$1" && pwd) build_dir=$(cd "$2" && pwd) scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard 2>/dev/null | xargs -0 cp --parents -t "$scratch") ||
  cp -a "$source_dir/." "$scratch"
rm -rf "$scratch/build" "$scratch/out"
ln -s "$build_dir" "$scratch/build"

# Example inputs the commands name.
demo=$build_dir/samples/demo.wav
cd "$scratch" || exit 1
cp "$demo" in.wav
mkdir -p recordings/sub && cp "$demo" recordings/first.wav && cp "$demo" recordings/sub/second.wav
if command -v sox >/dev/null; then sox "$demo" take.flac; sox "$demo" take.wav; fi
if command -v ffmpeg >/dev/null; then
  for video in in.mp4 in.mkv; do
    ffmpeg -loglevel error -f lavfi -i testsrc=size=64x48:rate=25 -i "$demo" -shortest \
      -c:v mpeg4 -c:a aac "$video" </dev/null
  done
fi

# `first word` of every command line of a block, for the installed check.
programs_of() {
  awk '
    /^[[:space:]]*(#|$)/ { next }
    continued { continued = ($0 ~ /\\$/); next }
    { continued = ($0 ~ /\\$/); line = $0
      sub(/^[[:space:]]*(\(|[A-Za-z_][A-Za-z0-9_]*=[^ ]* )*/, "", line)   # subshells and variable settings
      split(line, words, /[ ;|&)]/); print words[1] }' "$1"
}

failed=0 ran=0 skipped=0
for page in README.md docs/*.md; do
  [[ -f $page ]] || continue
  # Each block to its own file; the marker line before a fence skips it.
  rm -rf "$scratch/.blocks" && mkdir "$scratch/.blocks"
  awk -v dir="$scratch/.blocks" '
    /^[[:space:]]*```sh[[:space:]]*$/ { n++; file = sprintf("%s/%03d.sh", dir, n); inblock = 1
      printf "" > file; if (previous ~ /<!-- not run:/) print "# not run" > (file ".skip"); next }
    inblock && /^[[:space:]]*```/ { inblock = 0; close(file); next }
    inblock { sub(/^  /, ""); print >> file }
    { previous = $0 }' "$page"
  for block in "$scratch"/.blocks/*.sh; do
    [[ -e $block ]] || continue
    where="$page, shell block $(basename "$block" .sh | sed 's/^0*//')"
    if [[ -e $block.skip ]]; then skipped=$((skipped + 1)); continue; fi
    missing=""
    for program in $(programs_of "$block"); do
      case $program in
        */*) [[ -e $program ]] || missing+=" $program" ;;
        *) command -v "$program" >/dev/null 2>&1 || missing+=" $program" ;;
      esac
    done
    if [[ -n $missing ]]; then
      echo "not run ($where): not installed:$missing"
      skipped=$((skipped + 1))
      continue
    fi
    ran=$((ran + 1))
    if ! output=$(cd "$scratch" && timeout 120 bash -euo pipefail "$block" </dev/null 2>&1); then
      echo "FAILED ($where):"
      sed 's/^/    /' "$block"
      echo "  output:"
      tail -n 20 <<<"$output" | sed 's/^/    /'
      failed=$((failed + 1))
    fi
  done
done
echo "documented commands: $ran blocks ran, $failed failed, $skipped not run"
[[ $failed -eq 0 && $ran -gt 0 ]]

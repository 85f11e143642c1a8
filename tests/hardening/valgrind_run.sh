#!/bin/sh
# Runs one console program under valgrind's memcheck on a batch of three
# files, a good recording, a file that is not a WAV and one whose data chunk
# is longer than the file, and fails on any memory error, on any leaked
# block, and unless the good file's output was written.
#
# Usage: valgrind_run.sh VALGRIND PROGRAM GOOD.wav
set -eu
valgrind=$1
program=$2
good=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$good" "$work/good.wav"
printf 'not a wav file\n' >"$work/text.wav"
# A canonical 44-byte header of 16-bit stereo whose data chunk claims
# 4000 bytes, followed by only 16.
{
  printf 'RIFF\044\020\000\000WAVEfmt \020\000\000\000\001\000\002\000'
  printf '\104\254\000\000\020\261\002\000\004\000\020\000data\240\017\000\000'
  printf '0123456789abcdef'
} >"$work/short.wav"
mkdir "$work/out"

status=0
"$valgrind" --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes --log-file="$work/valgrind.log" \
  "$program" -y -n "$work/good.wav" "$work/text.wav" "$work/short.wav" "$work/out" >"$work/stdout.txt" || status=$?
cat "$work/stdout.txt"
cat "$work/valgrind.log"
if [ "$status" -ne 0 ]; then
  echo "valgrind reported errors or leaks (status $status)" >&2
  exit 1
fi
grep -q 'ERROR SUMMARY: 0 errors' "$work/valgrind.log"
grep -q 'ERROR! illegal wav format' "$work/stdout.txt"
grep -q 'ERROR! cannot read file' "$work/stdout.txt"
[ -s "$work/out/good.wav" ]
[ ! -e "$work/out/text.wav" ]
[ ! -e "$work/out/short.wav" ]

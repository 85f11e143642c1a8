#!/usr/bin/env bash
# Runs the Linux and the Windows build of every deliverable on the same
# recordings with the same settings and compares what they write, byte for
# byte, and what the console programs and the host simulator print. The
# plug-ins run in each build's own host simulator.
#
#   scripts/compare-windows.sh [LINUX_BUILD] [WINDOWS_BUILD]   (build, build-win32)
#
# The one accepted cause of a difference is the platforms' exp, which is not
# correctly rounded and may differ in the last bit for some arguments. Where
# output files differ, the coefficients of both builds are compared: every
# differing coefficient must come from a differing exponential, and the
# differing samples are counted; none may be off by more than one step.
# Anything else fails the check (exit 1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "${1:-$root/build}" && pwd)
windows=$(cd "${2:-$root/build-win32}" && pwd)
wine_run=$root/cmake/wine-run.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

identical=0 explained=0 faults=0

# Recordings: a bass line and a tone with a DC offset, in the formats the
# programs take. The rates are ones at which the two builds' exp differ for
# some FIR kernels.
sox -q -n -r 44100 -c 2 -b 16 -e signed s16_44100.wav synth 2 sine 45 sine 440 remix 1 2 gain -4 dcshift 0.02
sox -q -n -r 22050 -c 1 -b 8 -e unsigned m8_22050.wav synth 2 sine 60 sine 900 remix 1,2 gain -6 dcshift -0.03
sox -q -n -r 48000 -c 1 -b 16 -e signed m16_48000.wav synth 2 sine 38 gain -2
sox -q -n -r 11025 -c 2 -b 16 -e signed s16_11025.wav synth 2 square 55 sine 70 remix 1 2 gain -8

# coefficient_report KIND RATE EFFECT GAIN QUALITY: compares the
# coefficients of both builds for the corrector KIND (iir or fir) and tells
# which exponentials and coefficients differ. Returns 0 when coefficients
# differ and every one of them comes from a differing exponential, 1 when
# one does not, 2 when all coefficients are equal.
coefficient_report() {
  local kind=$1; shift
  "$linux/tools/qortacoef" "$@" > coef_linux.txt
  "$wine_run" "$windows/tools/qortacoef.exe" "$@" | tr -d '\r' > coef_windows.txt
  awk -v kind="$kind" '
    function key(   k, i) { k = $1; for (i = 2; i < NF; i++) k = k " " $i; return k }
    index($1, kind) != 1 { next }
    NR == FNR { linux[key()] = $NF; next }
    $1 == "fir-tap" { a = $2 < 0 ? -$2 : $2; if (a > n) n = a }
    linux[key()] != $NF {
      if ($1 == "iir") iirDiffers[$2 " " $3] = 1
      else if ($1 == "iir-exp") { iirExp = iirExp " " $2 }
      else if ($1 == "fir-exp") { firExp[$2] = 1; firExpList = firExpList " " $2 }
      else if ($1 == "fir-tap") { taps[++ntaps] = $2; tapList = tapList " " $2 }
    }
    END {
      unexplained = 0
      for (i = 1; i <= ntaps; i++) { a = taps[i] < 0 ? -taps[i] : taps[i]; if (!firExp[a] && !firExp[n + 1]) unexplained++ }
      niir = 0; for (c in iirDiffers) niir++
      if (niir && iirExp == "") unexplained += niir
      if (kind == "iir") printf "exp differs for:%s; IIR coefficients differing: %d", iirExp == "" ? " none" : iirExp, niir
      else printf "exp(-k*100/R) differs for k =%s; taps differing at k =%s", firExpList == "" ? " none" : firExpList,
                  tapList == "" ? " none" : tapList
      if (unexplained) { printf " -- %d coefficient(s) differ without a differing exp", unexplained; exit 1 }
      if (niir + ntaps == 0) exit 2
    }' coef_linux.txt coef_windows.txt
}

# verdict LABEL LINUX.wav WINDOWS.wav KIND RATE EFFECT GAIN QUALITY
verdict() {
  local label=$1 a=$2 b=$3; shift 3
  local samples report status=0
  report=$(coefficient_report "$@") || status=$?
  if cmp -s "$a" "$b"; then
    printf '%-58s identical\n' "$label"
    # Coefficients may differ in their last bit without changing a sample.
    if ((status != 2)); then printf '%-58s   coefficients: %s\n' "" "$report"; fi
    if ((status == 1)); then faults=$((faults + 1)); else identical=$((identical + 1)); fi
    return
  fi
  samples=$("$linux/tools/qortawavdiff" "$a" "$b" || true)
  local total differing largest=0 histogram
  [[ $samples == differ* ]] && read -r _ total differing largest histogram <<< "$samples"
  # A coefficient off in its last bit moves a result by far less than one
  # step, so it can only tip a sample across one rounding boundary.
  if [[ $samples == differ* && $status == 0 && $largest == 1 ]]; then
    printf '%-58s %s of %s samples differ, by at most %s step(s) [%s]\n' "$label" "$differing" "$total" \
      "$largest" "${histogram:-}"
    printf '%-58s   cause: %s\n' "" "$report"
    explained=$((explained + 1))
  else
    printf '%-58s FAULT: %s; %s\n' "$label" "$samples" "${report:-coefficients equal}"
    faults=$((faults + 1))
  fi
}

# The console text of a run with line ends and elapsed times made comparable.
normalise() { tr -d '\r' | sed -E 's/^elapse [0-9]+:[0-9]{2}$/elapse M:SS/'; }

# console PROGRAM RATE INPUT [OPTIONS...]
console() {
  local program=$1 rate=$2 input=$3; shift 3
  local effect=100 gain=100 quality=100 args=("$@") i
  for ((i = 0; i < ${#args[@]}; i++)); do
    case ${args[i]} in
      -e) effect=${args[i + 1]} ;; -g) gain=${args[i + 1]} ;; -q) quality=${args[i + 1]} ;;
    esac
  done
  "$linux/$program" -y "$@" "$input" out_linux.wav | normalise > text_linux.txt
  "$wine_run" "$windows/$program.exe" -y "$@" "$input" out_windows.wav | normalise \
    | sed 's/out_windows\.wav/out_linux.wav/' > text_windows.txt
  local label="$program $* $input"
  if ! cmp -s text_linux.txt text_windows.txt; then
    printf '%-58s FAULT: console text differs\n' "$label"
    diff text_linux.txt text_windows.txt | head -10 || true
    faults=$((faults + 1))
  fi
  verdict "$label" out_linux.wav out_windows.wav "${program#qorta}" "$rate" "$effect" "$gain" "$quality"
}

echo "== console programs"
for program in qortaiir qortafir; do
  console $program 44100 s16_44100.wav
  console $program 44100 s16_44100.wav -e 250 -g 80 -i 500 -o 700
  console $program 22050 m8_22050.wav -e 180 -g 300
  console $program 48000 m16_48000.wav -e 40 -g 120 -o 1500
  console $program 11025 s16_11025.wav -e 100 -g 100 -i 2500
done
console qortafir 44100 s16_44100.wav -q 200
console qortafir 44100 s16_44100.wav -q 300 -e 250
console qortafir 22050 m8_22050.wav -q 200 -e 250 -g 90
console qortafir 11025 s16_11025.wav -q 300 -e 250
console qortafir 48000 m16_48000.wav -q 37

# plugin PLUGIN RATE INPUT [QORTAHOST OPTIONS...]: the plug-in run by each
# build's host simulator, which behaves as the host editor does.
plugin() {
  local name=$1 rate=$2 input=$3; shift 3
  local effect=100 gain=100 quality=100 args=("$@") i value
  for ((i = 0; i < ${#args[@]}; i++)); do
    if [[ ${args[i]} == -t ]]; then
      value=${args[i + 1]#*=}
      case ${args[i + 1]} in
        Effect=*) effect=$value ;; Gain=*) gain=$value ;; Quality=*) quality=$value ;;
      esac
    fi
  done
  "$linux/qortahost" -q "$@" "$linux/$name.auf" "$input" out_linux.wav | normalise > text_linux.txt
  "$wine_run" "$windows/qortahost.exe" -q "$@" "$windows/$name.auf" "$input" out_windows.wav | normalise \
    | sed 's/out_windows\.wav/out_linux.wav/' > text_windows.txt
  local label="$name.auf $* $input"
  if ! cmp -s text_linux.txt text_windows.txt; then
    printf '%-58s FAULT: host text differs\n' "$label"
    diff text_linux.txt text_windows.txt | head -10 || true
    faults=$((faults + 1))
  fi
  local kind=${name#qorta}
  verdict "$label" out_linux.wav out_windows.wav "$kind" "$rate" "$effect" "$gain" "$quality"
}

echo
echo "== plug-ins (through the host simulator of each build)"
for name in qortaiir qortafir; do
  plugin $name 44100 s16_44100.wav
  plugin $name 44100 s16_44100.wav -t Effect=250 -t Gain=80 -t FadeIn=15 -t FadeOut=20
  plugin $name 48000 m16_48000.wav -t Effect=40 -t Gain=300 --fps 30000/1001
  plugin $name 11025 s16_11025.wav -t Effect=150 --fps 25 -t FadeOut=10
  plugin $name 44100 s16_44100.wav --preview -t Gain=150 -t FadeIn=10
done
plugin qortafir 44100 s16_44100.wav -t Quality=200
plugin qortafir 44100 s16_44100.wav -t Quality=300 -t Effect=250
plugin qortafir 48000 m16_48000.wav -t Quality=37 -t Gain=120

echo
echo "identical: $identical, differing through exp: $explained, faults: $faults"
((faults == 0))

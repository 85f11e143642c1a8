#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg, corrects a small file
# with the installed programs, finds their manual pages with man, checks that
# LV2 and LADSPA hosts find the installed plug-ins, removes
# the package again and checks that nothing of it is left.
#
# Needs root (or sudo) and a Debian system. Refuses to run while a package
# named qorta is already installed, so it never replaces someone's own copy.
# Prints "N passed, M failed" as its last line; exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

scripts/setup.sh
# The package test also needs man to look the pages up.
if ! command -v man >/dev/null 2>&1; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq man-db >/dev/null
fi

# True while dpkg has the package installed.
is_installed() { [[ $(dpkg-query -W -f='${Status}' qorta 2>/dev/null) == "install ok installed" ]]; }

if is_installed; then
  echo "a package named qorta is installed already; remove it first (dpkg -r qorta)" >&2
  exit 1
fi

build=build-package
scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release -DQORTA_BUILD_TESTS=OFF -DQORTA_BUILD_BENCH=OFF
rm -f "$build"/qorta_*.deb
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  cat "$build/cpack.log" >&2
  exit 1
fi
deb=$(ls "$build"/qorta_*.deb)
echo "package: $deb"

passed=0 failed=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}" >/dev/null 2>&1; then
    passed=$((passed + 1)); echo "ok   $1"
  else
    failed=$((failed + 1)); echo "FAIL $1"
  fi
}

work=$(mktemp -d)
installed=0
cleanup() {
  if ((installed)); then $sudo dpkg -r qorta >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Which of the package's paths exist before it is installed (shared folders
# such as /usr/bin); after removal exactly these may remain.
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | sed 's:/$::' | grep -v '^$' >"$work/paths"
while read -r path; do [[ -e $path ]] && echo "$path"; done <"$work/paths" >"$work/before"

# Installs the manual pages also where the system's dpkg filters leave out
# /usr/share/man (minimal container images).
$sudo dpkg --path-include='/usr/share/man/man1/qorta*' --path-include='/usr/share/man/man7/qorta*' -i "$deb" >/dev/null
installed=1
check "dpkg -i installs the package" is_installed
check "every path of the package is installed" bash -c "while read -r p; do [[ -e \$p ]] || exit 1; done <'$work/paths'"
check "qortaiir is in /usr/bin" test -x /usr/bin/qortaiir
check "qortafir is in /usr/bin" test -x /usr/bin/qortafir
check "qortaiir is found on PATH" test "$(command -v qortaiir)" = /usr/bin/qortaiir

cp "$build/samples/demo.wav" "$work/take.wav"
(cd "$work" && /usr/bin/qortaiir -n take.wav >iir.log </dev/null)
(cd "$work" && /usr/bin/qortafir -n take.wav fir.wav >fir.log </dev/null)
check "installed qortaiir writes take_b.wav" test -s "$work/take_b.wav"
check "installed qortaiir reports no error" \
  bash -c "! grep -q ERROR '$work/iir.log' && grep -q '^elapse ' '$work/iir.log'"
check "installed qortafir writes fir.wav" test -s "$work/fir.wav"
check "installed qortaiir gives the built program's bytes" bash -c \
  "cd '$work' && '$root/$build/qortaiir' -n -y take.wav built.wav </dev/null && cmp -s built.wav take_b.wav"
check "man -w qortaiir finds the installed page" test "$(man -w qortaiir)" = /usr/share/man/man1/qortaiir.1.gz
check "man -w qortafir finds the installed page" test "$(man -w qortafir)" = /usr/share/man/man1/qortafir.1.gz
check "man qortaiir renders" bash -c "MANWIDTH=80 man qortaiir 2>&1 | grep -q 'THE OVERWRITE QUESTION'"
check "qorta is in /usr/bin" test -x /usr/bin/qorta
check "installed qorta gives qortafir's sample bytes" bash -c \
  "cd '$work' && /usr/bin/qorta --quiet -o qorta.wav take.wav && cmp -s <(sox fir.wav -t raw -) <(sox qorta.wav -t raw -)"
check "installed qorta writes FLAC that flac -t accepts" bash -c \
  "cd '$work' && /usr/bin/qorta --quiet --format flac -o take.flac take.wav && flac -s -t take.flac"
check "man -w qorta finds the installed page" test "$(man -w qorta)" = /usr/share/man/man1/qorta.1.gz
check "the bash completion of qorta is installed" test -s /usr/share/bash-completion/completions/qorta
check "man -w qorta-plugins finds the installed page" \
  test "$(man -w qorta-plugins)" = /usr/share/man/man7/qorta-plugins.7.gz

# The LV2 bundle and the LADSPA library, where hosts find them without
# LV2_PATH or LADSPA_PATH.
for file in manifest.ttl qorta.ttl qorta.so; do
  check "the LV2 bundle holds $file" test -s "/usr/lib/lv2/qorta.lv2/$file"
done
check "the LADSPA library is in /usr/lib/ladspa" test -s /usr/lib/ladspa/qorta.so
if command -v lv2ls >/dev/null 2>&1; then
  check "lv2ls finds the four installed LV2 plug-ins" \
    bash -c "[[ \$(env -u LV2_PATH lv2ls | grep -c '^urn:qorta:') == 4 ]]"
  check "the installed IIR plug-in runs in lv2apply" bash -c \
    "cd '$work' && sox take.wav -e floating-point -b 32 takef.wav && env -u LV2_PATH lv2apply -i takef.wav \
       -o lv2.wav urn:qorta:iir-stereo && test -s lv2.wav"
fi
if command -v ffmpeg >/dev/null 2>&1; then
  check "ffmpeg finds the installed LADSPA library" bash -c "env -u LADSPA_PATH ffmpeg -nostdin -v error \
    -f lavfi -i sine=duration=0.1 -af ladspa=f=qorta:p=qortaiir_mono -f null -"
fi
multiarch=$(gcc -print-multiarch 2>/dev/null || true)
if [[ -n $multiarch ]]; then
  check "the LADSPA library is linked from /usr/lib/$multiarch/ladspa" \
    test "$(readlink -f "/usr/lib/$multiarch/ladspa/qorta.so")" = /usr/lib/ladspa/qorta.so
fi
# Each host searches its own folders: sox only the multiarch one, ecasound only /usr/lib/ladspa.
if command -v sox >/dev/null 2>&1; then
  check "sox finds the installed LADSPA library" bash -c "cd '$work' && env -u LADSPA_PATH \
    sox -n -e floating-point -b 32 -r 44100 soxin.wav synth 0.1 sine 50 vol 0.1 &&
    env -u LADSPA_PATH sox soxin.wav soxout.wav ladspa qorta qortaiir_mono 100 100 1 && test -s soxout.wav"
fi
if command -v ecasound >/dev/null 2>&1; then
  check "ecasound finds the installed LADSPA library" bash -c "cd '$work' && env -u LADSPA_PATH \
    ecasound -q -f:f32_le,1,44100 -i soxin.wav -o ecaout.wav -el:qortaiir_mono,100,100,1 </dev/null &&
    test -s ecaout.wav"
fi
if command -v gst-inspect-1.0 >/dev/null 2>&1; then
  check "GStreamer lists the four installed LV2 plug-ins" bash -c "env -u LV2_PATH \
    GST_REGISTRY='$work/gst-registry.bin' gst-inspect-1.0 lv2 | grep -c ' urn-qorta-' | grep -qx 4"
fi
check "the PipeWire configuration is in /usr/share/qorta/pipewire" \
  test -s /usr/share/qorta/pipewire/qorta-line-in.conf
if command -v analyseplugin >/dev/null 2>&1; then
  check "analyseplugin lists the four installed LADSPA plug-ins" \
    bash -c "[[ \$(analyseplugin /usr/lib/ladspa/qorta.so | grep -c '^Plugin Label:') == 4 ]]"
fi

$sudo dpkg -r qorta >/dev/null
installed=0
check "dpkg -r removes the package" bash -c "[[ \$(dpkg-query -W -f='\${Status}' qorta 2>/dev/null) != *' installed' ]]"
while read -r path; do [[ -e $path ]] && echo "$path"; done <"$work/paths" >"$work/after"
check "nothing of the package is left" diff "$work/before" "$work/after"
check "qortaiir is gone from PATH" bash -c "! command -v qortaiir"
check "qorta is gone from PATH" bash -c "! command -v qorta"
check "the LV2 bundle is gone" test ! -e /usr/lib/lv2/qorta.lv2
[[ -n $multiarch ]] && check "the multiarch LADSPA link is gone" test ! -L "/usr/lib/$multiarch/ladspa/qorta.so"

echo "$passed passed, $failed failed"
((failed == 0))

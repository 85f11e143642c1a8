#!/usr/bin/env bash
# Installs the tools that are missing (Debian/Ubuntu).
#
#   scripts/setup.sh [test]   the build tools and everything the tests use (scripts/test.sh, CI)
#   scripts/setup.sh build    the build tools alone (scripts/demo.sh)
set -euo pipefail

set_wanted=${1:-test}
case $set_wanted in
  build | test) ;;
  *) echo "usage: scripts/setup.sh [build|test]" >&2; exit 2 ;;
esac

packages=()
section=build
need() { # need COMMAND-OR-PATH PACKAGE: wanted when the current section belongs to the chosen set
  [[ $section == build || $set_wanted == test ]] || return 0
  if [[ "$1" == /* ]]; then [[ -e "$1" ]] || packages+=("$2")
  else command -v "$1" >/dev/null 2>&1 || packages+=("$2"); fi
}
need cmake cmake
need ninja ninja-build
need g++ g++
# qorta reads and writes audio files through libsndfile.
need /usr/include/sndfile.h libsndfile1-dev
# The test set adds what the tests run besides the build tools.
section=test
need /usr/include/gtest/gtest.h libgtest-dev
need sox sox
need flac flac
need sndfile-metadata-set sndfile-programs
need man man-db
need xmllint libxml2-utils
need valgrind valgrind
# The LV2 and LADSPA plug-ins: their headers, and the hosts the tests run them in.
need /usr/include/lv2/core/lv2.h lv2-dev
need /usr/include/ladspa.h ladspa-sdk
need lv2apply lilv-utils
need sord_validate sordi
need ffmpeg ffmpeg
need melt melt
gst_plugins=/usr/lib/$(uname -m)-linux-gnu/gstreamer-1.0
need gst-launch-1.0 gstreamer1.0-tools
need "$gst_plugins/libgstwavparse.so" gstreamer1.0-plugins-good  # also wavenc
need "$gst_plugins/libgstlv2.so" gstreamer1.0-plugins-bad       # also ladspa
need ecasound ecasound
need jalv jalv
need jackd jackd2  # also jack_lsp
need pipewire pipewire-bin  # also pw-play, pw-record, pw-cli
need wireplumber wireplumber
need dbus-run-session dbus-daemon

if ((${#packages[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "installing: ${packages[*]}"
  $sudo apt-get update -qq
  # The build set takes no recommended packages: the build needs none of them.
  extra=()
  [[ $set_wanted == test ]] || extra=(--no-install-recommends)
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${extra[@]}" "${packages[@]}" >/dev/null
fi

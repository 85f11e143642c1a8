#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian/Ubuntu).
set -euo pipefail

packages=()
need() { # need COMMAND-OR-PATH PACKAGE
  if [[ "$1" == /* ]]; then [[ -e "$1" ]] || packages+=("$2")
  else command -v "$1" >/dev/null 2>&1 || packages+=("$2"); fi
}
need cmake cmake
need ninja ninja-build
need g++ g++
need /usr/include/gtest/gtest.h libgtest-dev
need sox sox
need sndfile-metadata-set sndfile-programs
need man man-db
need xmllint libxml2-utils
need valgrind valgrind
# The LV2 and LADSPA plug-ins: their headers, and the hosts the tests run them in.
need /usr/include/lv2/core/lv2.h lv2-dev
need /usr/include/ladspa.h ladspa-sdk
need lv2apply lilv-utils
need ffmpeg ffmpeg
need melt melt

if ((${#packages[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "installing: ${packages[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${packages[@]}" >/dev/null
fi

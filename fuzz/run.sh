#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each one for SECONDS
# seconds on its committed seeds and regression inputs, one after another.
# New inputs the fuzzer finds go to build-fuzz/corpus/TARGET (kept between
# runs, never committed); a finding stops the script with the fuzzer's
# report and leaves the input in build-fuzz/artifacts/.
#
# Usage: fuzz/run.sh SECONDS [TARGET...]   run (all targets by default)
#        fuzz/run.sh --seeds               rewrite fuzz/corpus from the generator
#
# Targets: wav_header qortaiir_file qortafir_file qortaiir_plugin qortafir_plugin stream_plugins qorta_file
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(wav_header qortaiir_file qortafir_file qortaiir_plugin qortafir_plugin stream_plugins qorta_file)

# Installs clang and its sanitizer and fuzzer runtime where they are missing
# (Debian/Ubuntu), besides the ordinary build tools.
install_tools() {
  scripts/setup.sh
  local packages=()
  command -v clang++ >/dev/null 2>&1 || packages+=(clang)
  if [[ ${#packages[@]} -eq 0 ]]; then
    local runtime
    runtime="$(clang++ -print-runtime-dir)/libclang_rt.fuzzer-$(uname -m).a"
    [[ -e $runtime ]] || packages+=(libclang-rt-dev)
  else
    packages+=(libclang-rt-dev)
  fi
  if ((${#packages[@]})); then
    local sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    echo "installing: ${packages[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${packages[@]}" >/dev/null
  fi
}

if [[ ${1:-} == --seeds ]]; then
  scripts/build.sh build -DQORTA_BUILD_TESTS=ON
  cmake --build build --target make_seeds
  # qorta_file's seeds were made by sox and flac, not by the generator.
  find fuzz/corpus -mindepth 1 -maxdepth 1 ! -name qorta_file -exec rm -rf {} +
  build/fuzz/make_seeds fuzz/corpus
  exit 0
fi

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

install_tools
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQORTA_FUZZ=ON -DQORTA_BUILD_TESTS=OFF -DQORTA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# Inputs of the file targets may span several blocks of the fuzz build (1024
# frames); the header target may carry the largest fmt chunk (65549 bytes).
max_len() {
  case $1 in
    wav_header) echo 70000 ;;
    *_file) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

mkdir -p build-fuzz/artifacts build-fuzz/logs
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  inputs=("build-fuzz/corpus/$target" "fuzz/corpus/$target")
  [[ -d fuzz/regression/$target ]] && inputs+=("fuzz/regression/$target")
  echo "== $target: ${seconds}s"
  LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
  "build-fuzz/fuzz/fuzz_$target" "${inputs[@]}" -max_total_time="$seconds" -max_len="$(max_len "$target")" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$target-" >"build-fuzz/logs/$target.log" 2>&1 || {
    status=$?
    tail -n 60 "build-fuzz/logs/$target.log"
    echo "fuzz target $target stopped with status $status; a finding leaves its input in build-fuzz/artifacts/" >&2
    exit 1
  }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|^Done' "build-fuzz/logs/$target.log" || true
done

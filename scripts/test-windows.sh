#!/usr/bin/env bash
# Builds the four deliverables for 32-bit Windows and tests them under wine:
# installs the cross compilers and wine when missing, cross-builds into
# build-win32/, runs its tests with ctest (every test program is a Windows
# program started through wine), checks that the Windows files write the
# same bytes as the Linux build, and packs the release zip.
#
#   scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
jobs=$(nproc)

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}

# The cross compilers, and wine for 32-bit programs (from the i386 part of
# the archive, with its preloader, which keeps wine's address space free).
if ! command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || ! command -v wine >/dev/null 2>&1 ||
   [[ ! -e /usr/lib/wine/wine-preloader ]]; then
  echo "installing: g++-mingw-w64-i686 wine wine32 wine32-preloader"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
  $sudo apt-get update -qq
  apt_install g++-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386
fi

# wine32 is a 32-bit Linux program. Where the kernel runs no 32-bit code,
# it runs through user-mode emulation of the i386 processor instead.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "this kernel runs no 32-bit programs: running wine through qemu-i386"
  command -v qemu-i386-static >/dev/null 2>&1 || apt_install qemu-user-static
  binfmt=/proc/sys/fs/binfmt_misc
  [[ -e $binfmt/register ]] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
  if [[ ! -e $binfmt/qemu-i386 ]]; then
    # ELF, 32-bit, little-endian, executable or shared object, machine i386.
    echo ':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $sudo tee $binfmt/register >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null
fi

# The Linux build to compare with: the one scripts/test.sh makes (nothing to
# do when that has just run).
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release

scripts/build.sh build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQORTA_BUILD_BENCH=OFF
# The first start of wine sets up its prefix; no test should wait for that.
cmake/wine-run.sh build-win32/qortaiir.exe >/dev/null
ctest --test-dir build-win32 -j "$jobs" --output-on-failure

scripts/compare-windows.sh build build-win32
cmake --build build-win32 --target windows_release
echo "release: $(ls build-win32/qorta-*-win32.zip)"

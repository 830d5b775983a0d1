#!/usr/bin/env bash
# Quorvel's one entry point for building and checking, on Debian 12.
#
#   ./build.sh          build both plug-ins and decode the bundled sample through each
#   ./build.sh test     build both plug-ins and run every test of both builds
#   ./build.sh stress [SECONDS]   long pass of the stress program (both builds; default 600 s
#                                 of hostile inputs each, seed from STRESS_SEED or 1)
#   ./build.sh bench    the benchmark (both builds)
#   ./build.sh package  Quorvel-1.1.2.zip with both plug-ins and the user read-me
#
# Run as root on a fresh machine it installs what is missing (mingw-w64, Wine, Xvfb,
# GoogleTest, qemu-user-static where 32-bit programs cannot run natively). Wine runs in
# prefixes of its own under build/, so nothing depends on what the machine had before.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build="$root/build"
mode=${1:-demo}

need_packages() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(mingw-w64)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(mingw-w64)
  command -v wine >/dev/null || missing+=(wine wine64)
  dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  command -v Xvfb >/dev/null || missing+=(xvfb)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v zip >/dev/null || missing+=(zip)
  [ -x /usr/bin/python3 ] || missing+=(python3)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  # The 32-bit build runs under CPU emulation where the machine cannot run 32-bit programs.
  can_run_32bit || [ -x /usr/bin/qemu-i386-static ] || missing+=(qemu-user-static)
  # Japanese texts of the settings dialog must render as text in its screenshot. (Not
  # "fc-list | grep -q": grep ends early and fc-list's SIGPIPE fails the pipeline.)
  [ -n "$(fc-list IPAPGothic 2>/dev/null)" ] || missing+=(fonts-ipafont-gothic)
  command -v import >/dev/null || missing+=(imagemagick)
  printf '%s\n' "${missing[@]}" | sort -u | grep -v '^$' || true
}

install_packages() {
  local missing
  missing=$(need_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "build.sh: missing packages (run as root to install them): $missing" >&2
    exit 1
  fi
  echo "== installing:" $missing
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails an index now and then; the install tells
  # whether what was fetched is enough.
  local try
  for try in 1 2 3; do
    apt-get update -qq && break
    echo "build.sh: apt-get update failed (try $try of 3)" >&2
    sleep 5
  done
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null && return 0
  # When the security suite's i386 index is the one that failed, its amd64 updates cannot
  # be matched by i386 packages of the same version, which Wine's 32-bit half needs. The
  # release's own suites always match each other.
  echo "build.sh: install failed; trying again from the release's own suites only" >&2
  local parts="$build/apt-release-only"
  rm -rf "$parts" && mkdir -p "$parts"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/security/' "$f" > "$parts/$(basename "$f")"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -v security /etc/apt/sources.list > "$parts/release.list" || true
  fi
  local only=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$parts")
  apt-get "${only[@]}" update -qq
  # shellcheck disable=SC2086
  apt-get "${only[@]}" install -y -qq --no-install-recommends $missing >/dev/null
  # Put the machine's own lists back.
  apt-get update -qq || true
}

build_both() {
  for preset in x86 x64; do
    echo "== building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
}

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=d"

prefix_setup=4  # raise when tests/runner/wine-prefix.reg changes

# Some virtual machines cannot execute 32-bit Linux programs at all (their kernels answer
# "Exec format error"), and Wine's 32-bit loader is one. There the 64-bit loader runs the
# 64-bit programs directly, and the 32-bit build runs under CPU emulation (x86_run).
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

use_64bit_loader_if_needed() {
  can_run_32bit && return 0
  [ -x /usr/lib/wine/wine64 ] || return 0
  local shim="$build/wine64-only"
  mkdir -p "$shim"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$shim/wine"
  cp "$shim/wine" "$shim/wine-stable"
  chmod +x "$shim/wine" "$shim/wine-stable"
  export PATH="$shim:$PATH" WINELOADER=/usr/lib/wine/wine64
  echo "== this machine cannot execute 32-bit programs: the 32-bit build runs under CPU emulation (qemu-i386)"
}

# Runs a program of the 32-bit build in its folder: natively where the machine can, else
# under qemu-i386 registered in a private user namespace (tests/runner/emulated_x86.py).
x86_run() {
  if can_run_32bit; then
    (cd "$build/x86/bin" && wine "$@")
  else
    python3 "$root/tests/runner/emulated_x86.py" run "$build/x86" "$build/wineprefix-x86" -- "$@"
  fi
}

x64_run() {
  (cd "$build/x64/bin" && wine "$@")
}

wine_start() {
  # A server left from an earlier run may be persistent, or may lack the display.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  if [ "$(cat "$WINEPREFIX/.quorvel-setup" 2>/dev/null)" != "$prefix_setup" ]; then
    wine reg import "$(winepath -w "$root/tests/runner/wine-prefix.reg")" >/dev/null 2>&1 || true
    wineserver -w
    echo "$prefix_setup" > "$WINEPREFIX/.quorvel-setup"
  fi
  # A persistent server makes each test program start in a fraction of a second.
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

xvfb_start() {
  # Windows need a display; the server must know it before it starts.
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    export DISPLAY=":$n"
    return 0
  done
  echo "build.sh: no free display for Xvfb" >&2
  exit 1
}

xvfb_stop() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}

cleanup() {
  wine_stop
  xvfb_stop
}

demo() {
  local sample="$root/tests/data/sample-orientation6-alpha.tif" arch plugin
  for arch in x86 x64; do
    plugin=$(cd "$build/$arch/bin" && ls Quorvel.sp?)
    echo
    echo "== $plugin: decoding $(basename "$sample")"
    [ "$arch" = x64 ] && wine_start
    # One start of the host for all three steps: an emulated start takes about a minute.
    "${arch}_run" spihost.exe "$plugin" info probe "$sample" decode "$sample" "$build/sample-$arch.bmp"
  done
  echo
  echo "Wrote $build/sample-x86.bmp and $build/sample-x64.bmp"
  if cmp -s "$build/sample-x86.bmp" "$build/sample-x64.bmp"; then
    echo "Both builds delivered identical pictures."
  else
    echo "build.sh: the two builds delivered different pictures" >&2
    return 1
  fi
}

run_tests() {
  xvfb_start
  local failed=0 x86_report
  echo "== testing x86"
  if can_run_32bit; then
    wine_start
    ctest --preset x86 --output-junit "$build/x86/ctest-report.xml" || failed=1
    x86_report="$build/x86/ctest-report.xml"
  else
    # The 32-bit stage runs first: the 64-bit build compares its pictures with this one's.
    python3 "$root/tests/runner/emulated_x86.py" test "$build/x86" "$build/wineprefix-x86" || failed=1
    x86_report="$build/x86/emulated/results.json"
  fi
  echo "== testing x64"
  wine_start
  ctest --preset x64 --output-junit "$build/x64/ctest-report.xml" || failed=1
  python3 "$root/tests/runner/summary.py" "x86=$x86_report" "x64=$build/x64/ctest-report.xml" || failed=1
  return $failed
}

stress_long() {
  # Hostile inputs for the given time, then long leak, concurrency and settings passes.
  local seconds=${1:-600} failed=0 arch
  for arch in x86 x64; do
    echo "== stress, $arch, ${seconds} s of hostile inputs"
    [ "$arch" = x64 ] && wine_start
    "${arch}_run" stress.exe --seed "${STRESS_SEED:-1}" --seconds "$seconds" \
      --leak-rounds 20000 --rounds 200 --reloads 50 --chaos-seconds 60 || failed=1
  done
  return $failed
}

bench() {
  echo "== bench, x86"
  if can_run_32bit; then
    x86_run bench.exe --rounds 9
  else
    # Timings under CPU emulation say nothing about native speed.
    echo "not run: this machine runs 32-bit programs only under CPU emulation, where timings mean nothing;"
    echo "the 32-bit benchmark needs a machine that runs 32-bit programs natively (docs/PERFORMANCE.md)"
  fi
  echo "== bench, x64"
  wine_start
  x64_run bench.exe --rounds 9
}

package() {
  local version=1.1.2 stage="$build/package"
  rm -rf "$stage" && mkdir -p "$stage/Quorvel-$version"
  cp "$build/x86/bin/Quorvel.spi" "$build/x64/bin/Quorvel.sph" "$stage/Quorvel-$version/"
  # Windows line ends, so that Notepad on any version shows the read-me properly.
  sed 's/$/\r/' "$root/docs/USER-README.txt" > "$stage/Quorvel-$version/README.txt"
  rm -f "$root/Quorvel-$version.zip"
  (cd "$stage" && zip -q -r -X "$root/Quorvel-$version.zip" "Quorvel-$version")
  echo "Wrote $root/Quorvel-$version.zip"
  unzip -l "$root/Quorvel-$version.zip"
}

trap cleanup EXIT
install_packages
use_64bit_loader_if_needed
case "$mode" in
  demo) build_both; demo ;;
  test) build_both; run_tests ;;
  stress) build_both; stress_long "${2:-600}" ;;
  bench) build_both; bench ;;
  package) build_both; package ;;
  *) echo "usage: ./build.sh [test | stress [SECONDS] | bench | package]" >&2; exit 2 ;;
esac

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
# GoogleTest). Wine runs in a prefix of its own under build/, so nothing depends on what
# the machine had before.
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
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  # Japanese texts of the settings dialog must render as text in its screenshot.
  fc-list 2>/dev/null | grep -q 'IPAPGothic' || missing+=(fonts-ipafont-gothic)
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

prefix_setup=3  # raise when the prefix needs new settings

# Some virtual machines cannot execute 32-bit Linux programs at all (their kernels answer
# "Exec format error"), and Wine's 32-bit loader is one. There the 64-bit loader runs the
# 64-bit programs directly, and the 32-bit build can be built but not run.
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
  echo "== warning: this machine cannot execute 32-bit programs; only the 64-bit build runs here" >&2
}

presets_to_run() {
  if can_run_32bit; then echo x86 x64; else echo x64; fi
}

wine_reg() {
  wine reg add "$@" /f >/dev/null 2>&1 || true
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
    # A crashing test program must fail, not wait in Wine's debugger.
    wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1
    wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d false
    # Japanese text in the dialog's font, as a Japanese Windows links it to its own fonts.
    local cjk='ipagp.ttf,IPAPGothic'
    wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma /t REG_MULTI_SZ /d "$cjk"
    wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v 'Microsoft Sans Serif' /t REG_MULTI_SZ /d "$cjk"
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
  local sample="$root/tests/data/sample-orientation6-alpha.tif"
  wine_start
  for preset in $(presets_to_run); do
    local dir="$build/$preset/bin" plugin
    plugin=$(cd "$dir" && ls Quorvel.sp?)
    echo
    echo "== $plugin: decoding $(basename "$sample")"
    (cd "$dir" && wine spihost.exe "$plugin" info)
    (cd "$dir" && wine spihost.exe "$plugin" probe "$(winepath -w "$sample")")
    (cd "$dir" && wine spihost.exe "$plugin" decode "$(winepath -w "$sample")" "$(winepath -w "$build/sample-$preset.bmp")")
  done
  echo
  local preset
  for preset in $(presets_to_run); do echo "Wrote $build/sample-$preset.bmp"; done
  if can_run_32bit; then
    cmp -s "$build/sample-x86.bmp" "$build/sample-x64.bmp" && echo "Both builds delivered identical pictures."
  fi
}

run_tests() {
  xvfb_start
  wine_start
  local failed=0
  for preset in $(presets_to_run); do
    echo "== testing $preset"
    ctest --preset "$preset" || failed=1
  done
  return $failed
}

stress_long() {
  # Hostile inputs for the given time, then long leak, concurrency and settings passes.
  local seconds=${1:-600} failed=0 preset
  wine_start
  for preset in $(presets_to_run); do
    echo "== stress, $preset, ${seconds} s of hostile inputs"
    (cd "$build/$preset/bin" && wine stress.exe --seed "${STRESS_SEED:-1}" --seconds "$seconds" \
      --leak-rounds 20000 --rounds 200 --reloads 50 --chaos-seconds 60) || failed=1
  done
  return $failed
}

bench() {
  local preset
  wine_start
  for preset in $(presets_to_run); do
    echo "== bench, $preset"
    (cd "$build/$preset/bin" && wine bench.exe --rounds 9)
  done
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

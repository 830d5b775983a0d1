#!/usr/bin/env bash
# Quorvel's one entry point for building and checking, on Debian 12.
#
#   ./build.sh          build both plug-ins and decode the bundled sample through each
#   ./build.sh test     build both plug-ins (warnings as errors) and run every test of both
#   ./build.sh stress [SECONDS]   long pass of the stress program (both builds; default 600 s
#                                 of hostile inputs each, seed from STRESS_SEED or 1)
#   ./build.sh bench    the benchmark (both builds)
#   ./build.sh package  the release zip build/Quorvel-<version>.zip (CPack)
#   ./build.sh packages only install what is missing (or, not as root, say what is)
#
# Run as root on a fresh machine it installs what is missing; after that it works for any
# user. Everything else is CMake and CTest: the presets in CMakePresets.json build, test
# (the Wine prefix, the display and the emulated 32-bit stage are CTest fixtures) and
# package, and may be used directly as the README shows.
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
  [ -x /usr/bin/python3 ] || missing+=(python3)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  # The directory reader's fuzz test: clang with libFuzzer and the sanitizers' runtimes.
  command -v clang++ >/dev/null || missing+=(clang)
  dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
  # The 32-bit build runs under CPU emulation where the machine cannot run 32-bit programs:
  # qemu 10 (Debian 12 has it in its backports suite), since the release's qemu 7 crashes or
  # hangs as soon as an emulated Wine process decodes on several threads.
  can_run_32bit || qemu_is_recent || missing+=(qemu-user-static/bookworm-backports)
  # Japanese texts of the settings dialog must render as text in its screenshot. (Not
  # "fc-list | grep -q": grep ends early and fc-list's SIGPIPE fails the pipeline.)
  [ -n "$(fc-list IPAPGothic 2>/dev/null)" ] || missing+=(fonts-ipafont-gothic)
  printf '%s\n' "${missing[@]}" | sort -u | grep -v '^$' || true
}

qemu_is_recent() {
  local version
  version=$(/usr/bin/qemu-i386-static --version 2>/dev/null | sed -nE '1s/.*version ([0-9]+)\..*/\1/p')
  [ -n "$version" ] && [ "$version" -ge 10 ]
}

# Debian 12's backports suite, for the packages that name it.
add_backports_suite() {
  grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  cat > /etc/apt/sources.list.d/bookworm-backports.sources <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
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
  if grep -q "/bookworm-backports" <<<"$missing"; then add_backports_suite; fi
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
  local preset
  for preset in x86 x64; do
    echo "== building $preset"
    cmake --preset "$preset" "$@" >/dev/null
    cmake --build --preset "$preset"
  done
}

# Wine's 32-bit loader runs here, or the 32-bit build's tests run under CPU emulation.
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

demo() {
  local sample="$root/tests/data/sample-orientation6-alpha.tif" arch
  for arch in x86 x64; do
    echo
    echo "== $arch: decoding $(basename "$sample")"
    # One start of the host for all three steps (under emulation each start costs seconds).
    "$root/spihost" "--$arch" info probe "$sample" decode "$sample" "$build/sample-$arch.bmp"
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
  local failed=0 arch
  # The 32-bit build first: the 64-bit build's tests compare their pictures with its.
  for arch in x86 x64; do
    echo "== testing $arch"
    ctest --preset "$arch" --output-junit "$build/$arch/ctest-report.xml" || failed=1
  done
  python3 "$root/tests/runner/summary.py" "x86=$build/x86/ctest-report.xml" "x64=$build/x64/ctest-report.xml" || failed=1
  return $failed
}

install_packages
case "$mode" in
  demo) build_both; demo ;;
  test) build_both -DQUORVEL_WARNINGS_AS_ERRORS=ON; run_tests ;;
  stress) build_both "-DQUORVEL_STRESS_SECONDS=${2:-600}" "-DQUORVEL_STRESS_SEED=${STRESS_SEED:-1}"; ctest --preset stress-x86 && ctest --preset stress-x64 ;;
  bench) build_both; ctest --preset bench-x86 && ctest --preset bench-x64 ;;
  package) build_both; cpack --preset release ;;
  packages) echo "build.sh: every package needed is present" ;;
  *) echo "usage: ./build.sh [test | stress [SECONDS] | bench | package | packages]" >&2; exit 2 ;;
esac

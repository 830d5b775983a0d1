#!/usr/bin/env bash
# The Wine session a build's tests run in: the project's prefix with the tests' registry
# settings, an X display (Xvfb) for the dialogs, and a persistent server so that each test
# program starts in a fraction of a second. CTest runs "start" before the first test and
# "stop" after the last (fixtures); wine-run.sh runs "prefix" for whatever runs earlier,
# such as the listing of a test program's tests.
#   wine-session.sh prefix | start | stop
#   wine-session.sh with-display PROGRAM [ARGS...]   runs PROGRAM on the session's display
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=wine-env.sh
source "$here/cmake/wine-env.sh"
settings="$here/tests/runner/wine-prefix.reg"

# Creates the prefix and imports the settings once per change of the settings file; one
# caller at a time.
prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  local stamp
  stamp=$(md5sum < "$settings" | cut -c1-32)
  if [ "$(cat "$WINEPREFIX/.quorvel-setup" 2>/dev/null)" != "$stamp" ]; then
    # Nothing of ours runs in a prefix that is not set up; a server left in it would
    # keep the waits below from ending.
    wineserver -k >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-session.sh: creating the Wine prefix $WINEPREFIX (a minute or two, once)" >&2
      mkdir -p "$WINEPREFIX"
      WINEDLLOVERRIDES="mscoree,mshtml=d" "$wine_loader" wineboot -i >/dev/null 2>&1 || true
      wineserver -w
    fi
    "$wine_loader" reg import "Z:${settings//\//\\}" >/dev/null 2>&1 || true
    wineserver -w
    echo "$stamp" > "$WINEPREFIX/.quorvel-setup"
  fi
  exec 9>&-
}

stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$wine_session_file" ]; then
    local display pid
    read -r display pid < "$wine_session_file" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$wine_session_file"
  fi
}

start() {
  stop
  prefix
  # Windows need a display, and Wine's desktop process takes the one of the server's
  # first program: the display comes first.
  local n pid=""
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    # Another session starting at the same moment may have taken the number: the lock
    # file names the server that won it.
    [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' < "/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] && break
    kill "$pid" 2>/dev/null || true
    pid=""
  done
  if [ -z "$pid" ]; then
    echo "wine-session.sh: no free display for Xvfb" >&2
    return 1
  fi
  echo ":$n $pid" > "$wine_session_file"
  export DISPLAY=":$n"
  wineserver -p </dev/null >/dev/null 2>&1
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
  echo "Wine session: prefix $WINEPREFIX, display :$n"
}

case "${1:-}" in
  prefix) prefix ;;
  start) start ;;
  stop) stop; echo "Wine session ended" ;;
  with-display) shift; exec "$@" ;;
  *) echo "usage: wine-session.sh prefix | start | stop | with-display PROGRAM [ARGS...]" >&2; exit 2 ;;
esac

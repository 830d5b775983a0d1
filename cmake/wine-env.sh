# Sourced by wine-run.sh and wine-session.sh: the project's own Wine prefix (never the
# user's ~/.wine), quiet Wine, and the loader this machine can execute.
: "${WINEPREFIX:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG

wine_loader=wine
# Where the kernel cannot execute Wine's 32-bit loader, 64-bit programs run on the 64-bit
# loader directly (32-bit ones run under emulation: tests/runner/emulated_x86.py).
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine_loader=/usr/lib/wine/wine64
fi

# The session's display and Xvfb, written by "wine-session.sh start".
wine_session_file="$WINEPREFIX.session"
if [ -f "$wine_session_file" ]; then
  read -r session_display _ < "$wine_session_file" || true
  [ -n "${session_display:-}" ] && export DISPLAY="$session_display"
fi

#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix),
# so tests never touch the user's ~/.wine. The caller may set WINEPREFIX itself.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
# Where the kernel cannot execute Wine's 32-bit loader, 64-bit programs run on the
# 64-bit loader directly.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"

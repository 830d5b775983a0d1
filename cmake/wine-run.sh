#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix),
# so tests never touch the user's ~/.wine. The caller may set WINEPREFIX itself.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
exec wine "$@"

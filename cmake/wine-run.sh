#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix),
# so tests never touch the user's ~/.wine. The caller may set WINEPREFIX itself.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG

loader=(wine)
# Where the kernel cannot execute Wine's 32-bit loader, 64-bit programs run on the
# 64-bit loader directly.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  loader=(/usr/lib/wine/wine64)
fi

# Now and then Wine fails to start a program at all: it ends at once with a failure and
# has printed nothing (every program run here prints before it can fail). Such a run is
# made once more; a program that fails after printing anything is never run again.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  "${loader[@]}" "$@" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ]; then
    exit "$status"
  fi
  echo "wine-run.sh: $1 ended with $status before printing anything; starting it once more" >&2
done

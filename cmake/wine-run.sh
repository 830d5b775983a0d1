#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix), so
# tests never touch the user's ~/.wine; the caller may set WINEPREFIX itself. The
# toolchain files make this CTest's way of starting every Windows program.
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=wine-env.sh
source "$here/cmake/wine-env.sh"
"$here/cmake/wine-session.sh" prefix || exit 1

# Now and then Wine fails to start a program at all: it ends at once with a failure and
# has printed nothing on either stream (every program run here prints before it can
# fail). Such a run is made once more; a program that printed anything is never run again.
out=$(mktemp)
err=$(mktemp)
status_file=$(mktemp)
trap 'rm -f "$out" "$err" "$status_file"' EXIT
for attempt in 1 2; do
  { { "$wine_loader" "$@"; echo $? > "$status_file"; } 2>&1 1>&3 3>&- | tee "$err" >&2; } 3>&1 | tee "$out"
  status=$(cat "$status_file")
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 2 ]; then
    exit "$status"
  fi
  echo "wine-run.sh: $1 ended with $status before printing anything; starting it once more" >&2
done

#!/usr/bin/env bash
# Runs a Windows console program under Wine with a terminal of its own, in the project's
# prefix: programs that write with WriteConsoleW print nothing to a pipe or a file. What
# the program wrote comes back on standard output, the terminal's escapes and all; the
# exit code is the program's.
#   wine-console.sh PROGRAM [ARGS...]
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=wine-env.sh
source "$here/cmake/wine-env.sh"
"$here/cmake/wine-session.sh" prefix || exit 1
printf -v command '%q ' "$wine_loader" "$@"
exec script -qec "$command" /dev/null

#!/usr/bin/env bash
# Once the packages are installed, build.sh finds every one of them present, for this user
# and, when this runs as root, for an unprivileged user too: a second run installs nothing,
# and nobody needs root after the install.
#   packages-for-any-user.sh BUILD_SH
set -uo pipefail
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp "$1" "$copy/build.sh"
chmod 755 "$copy" "$copy/build.sh"
failed=0

check() {
  local who=$1 out status
  shift
  out=$("$@" "$copy/build.sh" packages 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || ! grep -q "every package needed is present" <<<"$out" || grep -q "installing" <<<"$out"; then
    echo "as $who: build.sh packages ended with $status:"
    echo "$out"
    failed=1
  else
    echo "as $who: every package present, nothing installed"
  fi
}

check "$(id -un)"
if [ "$(id -u)" = 0 ]; then
  check nobody setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$copy"
fi
exit $failed

#!/usr/bin/env bash
# The scripts' package installer: it waits for apt's lock rather than failing
# at once, and says what failed.
set -euo pipefail
root=$1
work=$(mktemp -d /tmp/liaison-scripts-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: need_packages would ask sudo; nothing to try here"
  exit 0
fi
# An apt-get that only writes down how it was called, and fails as with a
# lock held too long.
cat >"$work/apt-get" <<'FAKE'
#!/bin/sh
echo "$@" >>"$APT_LOG"
exit 100
FAKE
chmod +x "$work/apt-get"
status=0
PATH="$work:$PATH" APT_LOG="$work/calls" bash -c \
  ". '$root/scripts/lib.sh'; need_packages liaison-no-such-package" 2>"$work/err" || status=$?
test "$status" -ne 0 || { echo "need_packages reported success"; exit 1; }
grep -q -- "DPkg::Lock::Timeout=" "$work/calls" || { echo "apt-get does not wait for its lock"; exit 1; }
grep -q "failed" "$work/err" || { echo "no word of what failed"; cat "$work/err"; exit 1; }
echo "need_packages waits for the lock and says what failed"

#!/bin/sh
# A common-case run (--address-debug, USER set, a seekable message) allocates nothing from the
# heap: the static pool is enough. Usage: heap.sh POSTLET POSTLET_SETHOME
set -eu
command -v valgrind >/dev/null || { echo "valgrind is not installed"; exit 77; }
binary=$1
sethome=$2
home=$(mktemp -d /tmp/plheap.XXXXXX)
trap 'rm -rf "$home"' EXIT
"$sethome" "$binary" "$home" "$home/postlet" >/dev/null
printf 'From: Jane Doe <jane@example.org>\nSender: list@example.org\nSubject: x\n\nbody\n' >"$home/message"
env -i USER=joe valgrind --error-exitcode=9 "$home/postlet" --address-debug -f bounce@example.org \
  'Ann <ann@example.org>, bob@example.org' 'staff: c@d, e@f;' <"$home/message" \
  >"$home/out" 2>"$home/log"
cat "$home/out"
grep 'total heap usage' "$home/log"
grep -q 'total heap usage: 0 allocs, 0 frees' "$home/log"

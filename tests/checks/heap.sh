#!/bin/sh
# A common-case run (--address-debug, USER set, a seekable message) allocates nothing from the
# heap: the static pool is enough; nor does a submission with its log line, run up to the execve,
# which fails in a home without programs. Usage: heap.sh POSTLET POSTLET_SETHOME POSTLET_LOGTEST
set -eu
command -v valgrind >/dev/null || { echo "SKIP: valgrind is not installed"; exit 77; }
if ! readelf -l "$1" | grep -q 'Requesting program interpreter'; then
  # valgrind counts heap blocks by replacing malloc in the loaded C library; a static binary has none.
  echo "SKIP: static binary: valgrind cannot count its heap blocks"
  exit 77
fi
binary=$1
sethome=$2
home=$(mktemp -d /tmp/plheap.XXXXXX)
trap 'rm -rf "$home"' EXIT
"$sethome" "$binary" "$home" "$home/postlet" >/dev/null
# valgrind reads the debug information of what it runs, and not every version reads every DWARF
# version a compiler writes (clang's DWARF 5); the heap count needs none of it.
objcopy --strip-debug "$home/postlet"
printf 'From: Jane Doe <jane@example.org>\nSender: list@example.org\nSubject: x\n\nbody\n' >"$home/message"
env -i USER=joe valgrind --error-exitcode=9 "$home/postlet" --address-debug -f bounce@example.org \
  'Ann <ann@example.org>, bob@example.org' 'staff: c@d, e@f;' <"$home/message" \
  >"$home/out" 2>"$home/log"
cat "$home/out"
grep 'total heap usage' "$home/log"
grep -q 'total heap usage: 0 allocs, 0 frees' "$home/log"
"$sethome" "$3" "$home" "$home/postlet-logtest" >/dev/null
objcopy --strip-debug "$home/postlet-logtest"
env -i USER=joe POSTLET_LOG_SOCKET="$home/log.socket" valgrind "$home/postlet-logtest" -f '<>' \
  joe@example.org <"$home/message" 2>"$home/log" && exit 1
grep -q 'failed to start bin/qmail-inject' "$home/log"
grep 'total heap usage' "$home/log"
grep -q 'total heap usage: 0 allocs, 0 frees' "$home/log"

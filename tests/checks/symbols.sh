#!/bin/sh
# The shipped binary needs only the C library, and only the pool's object file names malloc.
# Usage: symbols.sh POSTLET OBJECT_DIR
set -eu
binary=$1
objects=$2
status=0

needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
if [ "$needed" != "libc.so.6" ]; then
  echo "NEEDED is not just libc.so.6: $needed"
  status=1
fi

allowed=" read write lseek chdir execve getuid getpwuid malloc free memset _exit environ
  __libc_start_main __errno_location __stack_chk_fail "
for symbol in $(nm -D --undefined-only "$binary" | awk '$1 == "U" { sub(/@.*/, "", $2); print $2 }'); do
  case "$allowed" in
  *" $symbol "*) ;;
  *)
    echo "unexpected library symbol: $symbol"
    status=1
    ;;
  esac
done

users=$(find "$objects/CMakeFiles" -name '*.o' -path '*postlet_*' | while read -r o; do
  if nm --undefined-only "$o" | awk '{ print $NF }' | grep -q -x 'malloc'; then basename "$o"; fi
done)
if [ "$users" != "pool.cc.o" ]; then
  echo "malloc is named outside the pool: $users"
  status=1
fi
exit $status

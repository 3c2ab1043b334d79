#!/bin/sh
# The shipped binary needs only the C library, and only the pool's object file names malloc.
# A dynamic binary: NEEDED is libc.so.6 alone and every symbol it takes from the library is one
# of the allowed. A static binary (POSTLET_STATIC): no program interpreter, no dynamic section
# with NEEDED entries, so nothing is loaded at run time.
# Usage: symbols.sh POSTLET OBJECT_DIR
set -eu
binary=$1
objects=$2
status=0

if readelf -l "$binary" | grep -q 'Requesting program interpreter'; then
  needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  if [ "$needed" != "libc.so.6" ]; then
    echo "NEEDED is not just libc.so.6: $needed"
    status=1
  fi
  # environ and __environ are the one variable under its two names; which one a binary takes
  # depends on the compiler (a copy relocation hides it, a GOT reference names it). The message
  # pump adds the calls of its process (pipe, fork, poll, the parent-death signal, kill) and its
  # copy; the log line makes its system calls through syscall and reads the user id by getauxval.
  allowed="read write lseek chdir execve getuid getpwuid malloc free memset _exit environ __environ
    __libc_start_main __errno_location __stack_chk_fail syscall getauxval
    fstat memchr memcpy memmove pipe2 fcntl close dup2 getpid getppid fork sigaction prctl poll kill"
  for symbol in $(nm -D --undefined-only "$binary" | awk '$1 == "U" { sub(/@.*/, "", $2); print $2 }'); do
    if ! printf '%s\n' $allowed | grep -qxF -- "$symbol"; then
      echo "unexpected library symbol: $symbol"
      status=1
    fi
  done
else
  echo "static binary: no program interpreter"
  if readelf -d "$binary" | grep -q '(NEEDED)'; then
    echo "a static binary names shared libraries:"
    readelf -d "$binary" | grep '(NEEDED)'
    status=1
  fi
fi

users=$(find "$objects/CMakeFiles" -name '*.o' -path '*postlet_*' | while read -r o; do
  if nm --undefined-only "$o" | awk '{ print $NF }' | grep -q -x 'malloc'; then basename "$o"; fi
done | LC_ALL=C sort -u)
if [ "$users" != "pool.cc.o" ]; then
  echo "malloc is named outside the pool: $users"
  status=1
fi
exit $status

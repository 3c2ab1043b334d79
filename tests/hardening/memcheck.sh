#!/bin/sh
# Runs the black-box tests with every run of postlet under valgrind's memcheck and fails when
# any run reports a memory error. Usage: memcheck.sh VALGRIND BLACKBOX_TEST [GTEST_FILTER]
# Cases that depend on argv[0] or on a missing argument vector cannot run under a wrapper;
# their test failures are listed but only memcheck's findings decide the result.
set -u
valgrind=$1
blackbox=$2
filter=${3:-*}
logs=$(mktemp -d /tmp/postlet-memcheck-XXXXXX)
POSTLET_BLACKBOX_WRAPPER="$valgrind --tool=memcheck --leak-check=no --track-origins=yes --log-file=$logs/%p.log"
export POSTLET_BLACKBOX_WRAPPER
"$blackbox" --gtest_filter="$filter" >"$logs/gtest.out" 2>&1
echo "test failures under the wrapper (expected for argv[0]-dependent cases):"
grep '^\[  FAILED  \]' "$logs/gtest.out" | sort -u | sed 's/^/  /'
runs=$(ls "$logs"/*.log 2>/dev/null | wc -l)
# A run that execs its program ends without a summary, so the error reports themselves count.
bad=$(grep -l -E 'ERROR SUMMARY: [1-9]|Invalid (read|write|free)|uninitialised|Conditional jump|Mismatched free|Syscall param|overlap|Process terminating' "$logs"/*.log 2>/dev/null)
echo "memcheck runs: $runs"
if [ "$runs" -lt 50 ]; then
  echo "too few runs of postlet under memcheck"
  exit 1
fi
if [ -n "$bad" ]; then
  for f in $bad; do
    echo "== $f"
    cat "$f"
  done
  exit 1
fi
echo "no memcheck errors"
rm -rf "$logs"

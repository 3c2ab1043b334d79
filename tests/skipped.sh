#!/bin/sh
# skipped.sh: run by ctest after the tests (CTestCustom.cmake in the build tree): the reason of
# every skipped test, which ctest itself shows for none. The reasons come from the run's log: a
# shell test's "SKIP: " line, the message under a GoogleTest "Skipped". One line per reason.
# Usage: skipped.sh BUILD_DIR
# While ctest runs this, the log of the run is still LastTest.log.tmp (CMake 4: the newest
# LastTest.log.tmpXXXXX); a LastTest.log older than the run's cost data is the last run's.
dir=$1/Testing/Temporary
log=$(ls -t "$dir"/LastTest.log.tmp* 2>/dev/null | head -n 1)
[ -n "$log" ] || log=$dir/LastTest.log
[ -f "$log" ] && ! [ "$log" -ot "$dir/CTestCostData.txt" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { name = $3 }
  taken { taken = 0; if ($0 !~ /^\[/) { why = $0 } else { why = "(no reason given)" }; note() }
  /: Skipped$/ { taken = 1 }
  /^SKIP: / { why = substr($0, 7); note() }
  function note() {
    sub(/^skip: /, "", why)
    if (!(why in count)) { order[++reasons] = why; first[why] = name }
    count[why]++
  }
  END {
    for (i = 1; i <= reasons; i++) {
      why = order[i]
      more = count[why] > 1 ? sprintf(" and %d more", count[why] - 1) : ""
      printf "Skipped, %s%s: %s\n", first[why], more, why
    }
  }' "$log"

#!/bin/sh
# Include what you use, for the C++ library's headers: include-what-you-use over every file the
# build compiles (product code, tools, tests, fuzz targets, benchmarks, and the headers beside
# them). A file fails when it uses a name of a C++ library header (<algorithm>, <string>,
# <cstdio>, ...) that neither it nor a header of ours it includes names: it compiles only while
# another header happens to include that one, which the next libstdc++ may stop doing.
# Left aside: the C library's and POSIX headers (glibc's own choice, and include-what-you-use
# knows them less well), <initializer_list> and <compare>, which the language brings with every
# library header, and suggestions whose only names are the allocator's.
# Usage: tests/checks/includes.sh BUILD_DIR [SOURCE_DIR]      (BUILD_DIR: a clang build of its own)
# Exit 0 when every file includes what it uses, 1 when one does not, 77 without the tools.
set -eu
build=$1
top=${2:-$(cd "$(dirname "$0")/../.." && pwd)}
for tool in include-what-you-use iwyu_tool clang++ cmake; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (apt-get install iwyu)"; exit 77; }
done
# A clang build of every target, fuzz targets included, for its compile commands alone.
mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DPOSTLET_TESTS=ON -DPOSTLET_FUZZ=ON -DPOSTLET_SANITIZE=ON >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
jobs=$(nproc 2>/dev/null || echo 2)
iwyu_tool -p "$build" -j "$jobs" -- -Xiwyu --no_fwd_decls -Xiwyu --max_line_length=1000 \
  >"$build/iwyu.log" 2>&1 || true
if grep -E '(error|fatal error):' "$build/iwyu.log"; then
  echo "include-what-you-use could not read every file (log: $build/iwyu.log)"
  exit 1
fi

# Every <header> a file of ours names, itself or through the quoted headers of ours it includes.
named() {
  visited=" "
  pending=$1
  while [ -n "$pending" ]; do
    set -- $pending
    file=$1
    shift
    pending="$*"
    case $visited in *" $file "*) continue ;; esac
    visited="$visited$file "
    sed -n 's/^#include <\([^>]*\)>.*/\1/p' "$file"
    for quoted in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
      for dir in "$(dirname "$file")" "$top/src" "$top/tests"; do
        if [ -f "$dir/$quoted" ]; then
          pending="$pending $dir/$quoted"
          break
        fi
      done
    done
  done
}

# FILE|HEADER|NAMES for each C++ library header include-what-you-use would add to a file of ours.
awk -v top="$top/" -v build="$(cd "$build" && pwd)/" '
  / should add these lines:$/ { file = $1; adding = index(file, top) == 1 && index(file, build) != 1; next }
  /^$/ || / should remove these lines:$/ { adding = 0 }
  adding && /^#include <[a-z_]*>/ {
    header = $2
    gsub(/[<>]/, "", header)
    if (header == "initializer_list" || header == "compare") next
    names = $0
    sub(/^[^\/]*\/\/ for /, "", names)
    kept = ""
    n = split(names, list, ", ")
    for (i = 1; i <= n; i++)
      if (list[i] !~ /^(allocator|allocator_traits<>::value_type|__alloc_traits<>::value_type)$/)
        kept = kept (kept == "" ? "" : ", ") list[i]
    if (kept != "") print file "|" header "|" kept
  }' "$build/iwyu.log" | LC_ALL=C sort -u >"$build/wanted"

missing=0
files=0
while IFS='|' read -r file header names; do
  if ! named "$file" | grep -qxF "$header"; then
    echo "${file#"$top"/}: uses $names from <$header>, which it does not include"
    missing=$((missing + 1))
  fi
done <"$build/wanted"
files=$(grep -cE ' should add these lines:$| has correct #includes' "$build/iwyu.log" || true)
if [ "$missing" -ne 0 ]; then
  echo "$missing missing include(s) (include-what-you-use's full report: $build/iwyu.log)"
  exit 1
fi
echo "every one of the $files files includes the C++ library headers it uses"

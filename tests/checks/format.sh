#!/bin/sh
# The product code, the tools, the fuzz targets, the benchmarks and the demo's receiver as the
# tree's .clang-format lays them out. Tests are left out: their case tables keep one case to a
# line, which the formatter would spread over a line per field.
# Usage: tests/checks/format.sh [SOURCE_DIR]; exit 77 without clang-format.
set -eu
top=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
command -v clang-format >/dev/null || { echo "no clang-format"; exit 77; }
cd "$top"
files=$(find src tools fuzz bench demo -path fuzz/corpus -prune -o -type f \
  \( -name '*.cc' -o -name '*.h' -o -name '*.c' \) ! -name '*_test.cc' -print | LC_ALL=C sort)
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files

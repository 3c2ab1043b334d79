#!/bin/sh
# Configures with homes of 47 and 48 bytes and checks the generated patch area: the path, a NUL
# and only as much of the marker as fits in 49 bytes, in a file that compiles.
# Usage: home_area.sh SOURCE_DIR WORK_DIR CXX
set -eu
source=$1
work=$2
cxx=$3
for pad in 42 43; do
  home=/tmp/$(printf "%0${pad}d" 0)
  rm -rf "$work/home$pad"
  cmake -S "$source" -B "$work/home$pad" -DPOSTLET_QMAIL_HOME="$home" >/dev/null
  generated=$work/home$pad/generated/qmail_home.cc
  line=$(sed -n 's/^.*qmail_home_record_of(\("[^"]*"\));$/\1/p' "$generated")
  # The literal's terminating NUL is the area's 49th byte.
  if [ ${#home} = 48 ]; then expected="\"$home\""; else expected="\"$home\\0\""; fi
  if [ "$line" != "$expected" ]; then
    echo "home of ${#home} bytes: $line, expected $expected"
    exit 1
  fi
  "$cxx" -std=c++20 -fsyntax-only -I "$source/src" "$generated"
  rm -rf "$work/home$pad"
done
echo "homes of 47 and 48 bytes fill the area exactly"

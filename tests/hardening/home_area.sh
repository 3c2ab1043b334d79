#!/bin/sh
# Configures with homes of 47 and 48 bytes and checks the generated patch area: the path, a NUL
# and only as much of the marker as fits in 49 bytes. Usage: home_area.sh SOURCE_DIR WORK_DIR
set -eu
source=$1
work=$2
for pad in 42 43; do
  home=/tmp/$(printf "%0${pad}d" 0)
  rm -rf "$work/home$pad"
  cmake -S "$source" -B "$work/home$pad" -DPOSTLET_TESTS=OFF -DPOSTLET_QMAIL_HOME="$home" >/dev/null
  line=$(grep 'qmail_home\[' "$work/home$pad/generated/qmail_home.cc")
  expected="const char qmail_home[QMAIL_HOME_AREA] = \"$home\\0\";"
  if [ "$line" != "$expected" ]; then
    echo "home of ${#home} bytes: $line"
    exit 1
  fi
  rm -rf "$work/home$pad"
done
echo "homes of 47 and 48 bytes fill the area exactly"

#!/bin/sh
# The configure step: a home of 49 bytes is refused; a build configured with another home and
# POSTLET_INSTALL_LINKS=ON installs the links by default, and its sendmail runs in that home.
# Usage: configure.sh POSTLET SETHOME STUB SOURCE_DIR
set -eu
. "$(dirname "$0")/lib.sh"
source=$4
need cmake
make_work conf
mkdir "$work/home"

long49=/tmp/$(printf '%044d' 0)
status=0
cmake -S "$source" -B "$work/refused" -DPOSTLET_TESTS=OFF -DPOSTLET_QMAIL_HOME="$long49" \
  >"$work/refused.log" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "a 49-byte home was accepted"
grep -q "POSTLET_QMAIL_HOME must be 1 to 48 bytes long, not 49" "$work/refused.log" ||
  fail "no length diagnostic for a 49-byte home"

cmake -S "$source" -B "$work/build" -DPOSTLET_TESTS=OFF -DPOSTLET_INSTALL_LINKS=ON \
  -DPOSTLET_QMAIL_HOME="$work/home" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
cmake --build "$work/build" --target postlet postlet-sethome >>"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
check "configured home" "$work/home" "$("$sethome" "$work/build/postlet")"
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
check "links installed by default" "../sbin/postlet ../sbin/postlet ../sbin/postlet ../sbin/postlet postlet" \
  "$(for l in bin/hoststat bin/mailq bin/purgestat lib/sendmail sbin/sendmail; do
       readlink "$work/prefix/$l"; done | tr '\n' ' ' | sed 's/ $//')"
check "sendmail --version" "sendmail (postlet) 0.1.6" "$("$work/prefix/sbin/sendmail" --version)"
finish

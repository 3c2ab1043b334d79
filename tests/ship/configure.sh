#!/bin/sh
# The configure step: a home of 49 bytes and a relative home are refused; a build configured with
# another home, POSTLET_INSTALL_LINKS=ON and POSTLET_INSTALL_REPLACE=ON installs the links by
# default over a file it keeps aside, its sendmail runs in that home, and its uninstall restores.
# Usage: configure.sh POSTLET SETHOME STUB SOURCE_DIR
set -eu
. "$(dirname "$0")/lib.sh"
source=$4
need cmake
work=$(mktemp -d "/tmp/postlet-conf.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/home"

long49=/tmp/$(printf '%044d' 0)
while IFS='|' read -r home message; do
  status=0
  rm -rf "$work/refused"
  cmake -S "$source" -B "$work/refused" -DPOSTLET_QMAIL_HOME="$home" >"$work/refused.log" 2>&1 ||
    status=$?
  [ "$status" -ne 0 ] || fail "the home $home was accepted"
  grep -qF "$message" "$work/refused.log" || fail "no diagnostic \"$message\" for the home $home"
done <<ROWS
$long49|POSTLET_QMAIL_HOME must be 1 to 48 bytes long, not 49
var/qmail|POSTLET_QMAIL_HOME must be an absolute path: var/qmail
ROWS

cmake -S "$source" -B "$work/build" -DPOSTLET_INSTALL_LINKS=ON -DPOSTLET_INSTALL_REPLACE=ON \
  -DPOSTLET_QMAIL_HOME="$work/home" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
cmake --build "$work/build" --target postlet postlet-sethome >>"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
check "configured home" "$work/home" "$("$sethome" "$work/build/postlet")"
# With POSTLET_INSTALL_REPLACE a file in the way is kept aside, and the uninstall puts it back.
mkdir -p "$work/prefix/sbin"
echo other >"$work/prefix/sbin/sendmail"
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
check "replaced file kept" other "$(cat "$work/prefix/sbin/sendmail.postlet-saved")"
check "links installed by default" "../sbin/postlet ../sbin/postlet ../sbin/postlet ../sbin/postlet postlet" \
  "$(for l in bin/hoststat bin/mailq bin/purgestat lib/sendmail sbin/sendmail; do
       readlink "$work/prefix/$l"; done | tr '\n' ' ' | sed 's/ $//')"
check "sendmail --version" "sendmail (postlet) 0.1.6" "$("$work/prefix/sbin/sendmail" --version)"
cmake --build "$work/build" --target uninstall >/dev/null
check "uninstall puts the replaced file back" "./sbin/sendmail: other" \
  "$(cd "$work/prefix" && find . ! -type d | while read -r f; do echo "$f: $(cat "$f")"; done)"
finish

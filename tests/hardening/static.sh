#!/bin/sh
# The static binary (POSTLET_STATIC): it loads nothing at run time, and its login look-up works
# without the C library's loadable name-service modules: a user in /etc/passwd gets USER from
# there, a uid that /etc/passwd does not list gets no USER and no crash.
# Usage: static.sh STATIC_POSTLET SETHOME OBJECT_DIR
set -eu
static=$1
sethome=$2
sh "$(dirname "$0")/../checks/symbols.sh" "$static" "$3"
home=$(mktemp -d /tmp/plstatic.XXXXXX)
trap 'rm -rf "$home"' EXIT
chmod 755 "$home"
"$sethome" "$static" "$home" "$home/postlet" >/dev/null
chmod 755 "$home/postlet"
failures=0

# The USER line that a run as the given user (by the current one when empty) hands the injector.
user_of() {
  if [ -n "$1" ]; then
    run="setpriv --reuid=$1 --regid=$1 --clear-groups"
  else
    run=""
  fi
  status=0
  out=$($run env -i "$home/postlet" --environment-debug /usr/bin/env joe@example.org </dev/null) ||
    status=$?
  [ "$status" = 0 ] || { echo "uid ${1:-$(id -u)}: status $status"; failures=$((failures + 1)); }
  printf '%s\n' "$out" | sed -n 's/^USER=//p'
}

me=$(sed -n "s/^\([^:]*\):[^:]*:$(id -u):.*/\1/p" /etc/passwd | head -n 1)
got=$(user_of "")
[ "$got" = "$me" ] || { echo "uid $(id -u): USER \"$got\", expected \"$me\""; failures=$((failures + 1)); }

if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null 2>&1; then
  [ "$failures" = 0 ] || exit 1
  echo "SKIP: the run as a uid absent from /etc/passwd needs root and setpriv"
  exit 77
fi
absent=54321
while grep -q "^[^:]*:[^:]*:$absent:" /etc/passwd; do absent=$((absent + 1)); done
got=$(user_of "$absent")
[ -z "$got" ] || { echo "uid $absent: USER \"$got\", expected none"; failures=$((failures + 1)); }
[ "$failures" = 0 ] || exit 1
echo "static binary: user $me and the absent uid $absent handled"

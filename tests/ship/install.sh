#!/bin/sh
# cmake --install of a configured build: exactly the documented files with --prefix and with
# DESTDIR, the links component, a working sendmail link, a links install that will not replace
# a file, and an uninstall that takes away what the installs created and nothing else.
# Usage: install.sh POSTLET SETHOME STUB BUILD_DIR
set -eu
. "$(dirname "$0")/lib.sh"
build=$4
need cmake
work=$(mktemp -d "/tmp/postlet-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Every file and link below a directory, with its kind and, for links, its target.
listing() {
  (cd "$1" && find . ! -type d | LC_ALL=C sort | while read -r f; do
    if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; else echo "$f"; fi
  done)
}
programs='./sbin/postlet
./sbin/postlet-sethome
./share/man/man8/postlet-sethome.8
./share/man/man8/postlet.8'
links='./bin/hoststat -> ../sbin/postlet
./bin/mailq -> ../sbin/postlet
./bin/purgestat -> ../sbin/postlet
./lib/sendmail -> ../sbin/postlet
./sbin/sendmail -> postlet
./share/man/man8/mailq.8 -> postlet.8
./share/man/man8/sendmail.8 -> postlet.8'
with_links=$(printf '%s\n%s\n' "$programs" "$links" | LC_ALL=C sort)

links_option=$(sed -n 's/^POSTLET_INSTALL_LINKS:BOOL=//p' "$build/CMakeCache.txt")
if [ "$links_option" = ON ]; then default=$with_links; else default=$programs; fi

record=$build/install_record.txt
rm -f "$record"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "--prefix install" "$default" "$(listing "$work/prefix")"
cmp -s "$postlet" "$work/prefix/sbin/postlet" || fail "installed postlet differs from the build"
check "installed home" /var/qmail "$("$work/prefix/sbin/postlet-sethome" "$work/prefix/sbin/postlet")"
check "record" "$(printf '%s\n' "$default" | sed "s|^\./|$work/prefix/|; s| -> .*||" | LC_ALL=C sort)" \
  "$(sed 's/^[a-z]* //; s/ [^ ]*$//' "$record" | sed "s|^\($work/prefix/[^ ]*\)$|\1|" | LC_ALL=C sort)"
cmake --build "$build" --target uninstall >/dev/null
check "after uninstall" "" "$(listing "$work/prefix")"

# A staged install, then its uninstall, beside a live tree at the same prefix: only the staged
# files go.
mkdir -p "$work/live/sbin"
echo live >"$work/live/sbin/postlet"
DESTDIR="$work/stage" cmake --install "$build" --prefix "$work/live" >/dev/null
check "DESTDIR install" "$default" "$(listing "$work/stage$work/live")"
check "DESTDIR install: live tree untouched" live "$(cat "$work/live/sbin/postlet")"
cmake --build "$build" --target uninstall >/dev/null
check "DESTDIR uninstall" "" "$(listing "$work/stage")"
check "DESTDIR uninstall: live tree untouched" live "$(cat "$work/live/sbin/postlet")"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake --install "$build" --prefix "$work/prefix" --component links >/dev/null
check "links component" "$with_links" "$(listing "$work/prefix")"

# The installed binary's home is /var/qmail; give the installed copy an existing one.
mkdir -p "$work/qmail/bin"
"$work/prefix/sbin/postlet-sethome" "$work/prefix/sbin/postlet" "$work/qmail" >/dev/null
check "sendmail --version" "sendmail (postlet) 0.1.6" "$("$work/prefix/sbin/sendmail" --version)"
check "lib/sendmail --version" "sendmail (postlet) 0.1.6" "$("$work/prefix/lib/sendmail" --version)"
# The other names run qmail's tools; here they find none and say which.
for pair in mailq:qmail-qread hoststat:qmail-tcpto purgestat:qmail-tcpok; do
  name=${pair%%:*}
  status=0
  err=$("$work/prefix/bin/$name" 2>&1) || status=$?
  check "$name: runs its tool" "$name: fatal: failed to run bin/${pair#*:}: file does not exist" "$err"
  check "$name: status" 111 "$status"
done
[ ! -e "$work/prefix/bin/newaliases" ] || fail "newaliases was installed"

# The uninstall removes what the installs created, links included, and only that: a file that
# was in place before the install (overwritten by it) and a link pointed elsewhere since stay.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
rm "$work/prefix/bin/hoststat"
ln -s /bin/true "$work/prefix/bin/hoststat"
mkdir -p "$work/prefix/share/doc"
echo mine >"$work/prefix/share/doc/notes"
cmake --build "$build" --target uninstall >/dev/null
check "after uninstall" "./bin/hoststat -> /bin/true
./share/doc/notes" "$(listing "$work/prefix")"
[ ! -e "$record" ] || fail "uninstall left the record"
mkdir -p "$work/before/sbin"
echo admin >"$work/before/sbin/postlet-sethome"
cmake --install "$build" --prefix "$work/before" >/dev/null
cmake --build "$build" --target uninstall >/dev/null
check "a file found in place stays" ./sbin/postlet-sethome "$(listing "$work/before")"

# The links install refuses to replace a file that is not a link to postlet, names it, and makes
# no link at all; a link already pointing to postlet is fine.
mkdir -p "$work/taken/sbin" "$work/taken/bin"
echo other >"$work/taken/sbin/sendmail"
ln -s ../sbin/postlet "$work/taken/bin/mailq"
status=0
out=$(cmake --install "$build" --prefix "$work/taken" --component links 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "links install over a file: succeeded"
printf '%s\n' "$out" | tr -s '\n ' '  ' | grep -qF "$work/taken/sbin/sendmail exists and is not a link to postlet" ||
  fail "links install over a file: no message naming it: $out"
check "links install over a file: nothing made" "./bin/mailq -> ../sbin/postlet
./sbin/sendmail" "$(listing "$work/taken")"
rm -f "$record"
finish

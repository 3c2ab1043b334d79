#!/bin/sh
# cmake --install of a configured build: exactly the documented files with --prefix and with
# DESTDIR, the links component, a working sendmail link, and the uninstall target.
# Usage: install.sh POSTLET SETHOME STUB BUILD_DIR
set -eu
. "$(dirname "$0")/lib.sh"
build=$4
need cmake
make_work install

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
./sbin/sendmail -> postlet'
with_links=$(printf '%s\n%s\n' "$programs" "$links" | LC_ALL=C sort)

links_option=$(sed -n 's/^POSTLET_INSTALL_LINKS:BOOL=//p' "$build/CMakeCache.txt")
if [ "$links_option" = ON ]; then default=$with_links; else default=$programs; fi

cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "--prefix install" "$default" "$(listing "$work/prefix")"
cmp -s "$postlet" "$work/prefix/sbin/postlet" || fail "installed postlet differs from the build"
check "installed home" /var/qmail "$("$work/prefix/sbin/postlet-sethome" "$work/prefix/sbin/postlet")"
manifest=$(LC_ALL=C sort "$build/install_manifest.txt")
check "manifest" "$(printf '%s\n' "$default" | sed "s|^\./|$work/prefix/|; s| -> .*||" | LC_ALL=C sort)" "$manifest"

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local >/dev/null
check "DESTDIR install" "$default" "$(listing "$work/stage/usr/local")"
check "DESTDIR install: nothing outside the prefix" "./usr" "$(cd "$work/stage" && ls -d ./*)"

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

# The uninstall target removes what the manifests of the last installs list, links included.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake --build "$build" --target uninstall >/dev/null
check "after uninstall" "" "$(listing "$work/prefix")"
[ ! -e "$build/install_manifest.txt" ] || fail "uninstall left install_manifest.txt"
finish

#!/bin/sh
# cmake --install of a configured build: exactly the documented files with --prefix and with
# DESTDIR, the links component, a working sendmail link, an uninstall that takes away what the
# installs created and nothing else, and installs that meet a fault without being left half done.
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
./sbin/sendmail -> postlet
./share/man/man8/hoststat.8 -> postlet.8
./share/man/man8/mailq.8 -> postlet.8
./share/man/man8/purgestat.8 -> postlet.8
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

# Faults, one row each, in an empty prefix $p: what the set-up puts there, the command (an install
# or postlet-sethome), its status, texts its output must hold and what the prefix holds afterwards
# (';' between lines). A refused install changes nothing; the record's fault warns and installs
# whole; a postlet running from the installed file (hold) neither stops nor sees a changed file.
p=$work/fault
programs_row=$(printf '%s' "$programs" | tr '\n' ';')
default_row=$(printf '%s' "$default" | tr '\n' ';')
install_here() {
  cmake --install "$build" --prefix "$p" "$@"
}
sethome_here() {
  "$p/sbin/postlet-sethome" "$p/sbin/postlet" "$@"
}
# hold: runs the installed postlet, re-homed to $held with the stub as its injector, on a message
# that does not end before release; returns once the process runs the installed file. It watches
# /proc and never opens the file for writing: an exec that met such an open would fail with
# "Text file busy".
held=$work/held
hold() {
  mkdir -p "$held/bin" "$held/record" && cp "$stub" "$held/bin/qmail-inject"
  sethome_here "$held" >/dev/null
  rm -f "$work/input" && mkfifo "$work/input"
  sleep 300 >"$work/input" 2>/dev/null &
  echo $! >"$work/writer.pid"
  "$p/sbin/postlet" joe@example.org <"$work/input" >/dev/null 2>&1 &
  held_pid=$!
  echo "$held_pid" >"$work/postlet.pid"
  file=$(stat -L -c %d:%i "$p/sbin/postlet")
  tries=0
  until [ "$(stat -L -c %d:%i "/proc/$held_pid/exe" 2>/dev/null)" = "$file" ]; do
    kill -0 "$held_pid" 2>/dev/null ||
      { echo "postlet ended before it ran from $p/sbin/postlet" >&2 && return 1; }
    tries=$((tries + 1))
    [ "$tries" -lt 1000 ] || { echo "postlet never ran from $p/sbin/postlet" >&2 && return 1; }
    sleep 0.01
  done
}
# release: the held postlet must still run after the row's command; its message then ends.
release() {
  [ -f "$work/postlet.pid" ] || return 0
  held_pid=$(cat "$work/postlet.pid")
  kill -0 "$held_pid" 2>/dev/null || fail "$1: the held postlet ended before the command did"
  kill "$(cat "$work/writer.pid")"
  while kill -0 "$held_pid" 2>/dev/null; do sleep 0.01; done
  rm -f "$work/postlet.pid" "$work/writer.pid" "$work/input"
}
programs_here="install_here --component programs >/dev/null"
not="exists and is not a link to"
while IFS='|' read -r what setup command want_status needles after; do
  rm -rf "$p" "$record" "$build/install_manifest.txt" && mkdir "$p"
  (cd "$p" && eval "$setup")
  status=0
  out=$(eval "$command" 2>&1) || status=$?
  release "$what"
  check "$what: status" "$want_status" "$status"
  flat=$(printf '%s\n' "$out" | tr -s '\n ' '  ')
  IFS=';'
  for needle in $needles; do
    case $flat in *"$needle"*) ;; *) fail "$what: no \"$needle\" in: $flat" ;; esac
  done
  unset IFS
  check "$what: afterwards" "$(printf '%s' "$after" | tr ';' '\n' | LC_ALL=C sort)" "$(listing "$p")"
done <<ROWS
record cannot be written|mkdir $record|install_here|0|cannot write $record: installing without a record|$default_row
build tree cannot be written|mkdir $build/install_manifest.txt|install_here|1|cannot write $build/install_manifest.txt, where cmake --install lists what it installed: nothing installed|
links without the program||install_here --component links|1|$p/sbin/postlet is not installed;$p/share/man/man8/postlet.8 is not installed|
link to another postlet|mkdir other sbin && echo x >other/postlet && ln -s ../other/postlet sbin/sendmail && $programs_here|install_here --component links|1|$p/sbin/sendmail $not $p/sbin/postlet|${programs_row};./other/postlet;./sbin/sendmail -> ../other/postlet
several files in the way|mkdir -p bin sbin share/man/man8 && for f in sbin/sendmail bin/mailq share/man/man8/sendmail.8; do echo x >\$f; done && ln -s ../sbin/postlet bin/hoststat && $programs_here|install_here --component links|1|$p/sbin/sendmail $not $p/sbin/postlet;$p/bin/mailq $not $p/sbin/postlet;$p/share/man/man8/sendmail.8 $not $p/share/man/man8/postlet.8|${programs_row};./bin/hoststat -> ../sbin/postlet;./bin/mailq;./sbin/sendmail;./share/man/man8/sendmail.8
sethome in place while postlet runs|$programs_here && hold|sethome_here /opt/qmail|0|$p/sbin/postlet: qmail home $held -> /opt/qmail|$programs_row
install again while postlet runs|$programs_here && hold|install_here --component programs|0|Installing: $p/sbin/postlet|$programs_row
ROWS
rm -rf "$record" "$build/install_manifest.txt"
finish

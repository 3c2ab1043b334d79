#!/bin/sh
# postlet-sethome: the default area as configured, round trips in place and into a copy, a
# patched binary that really uses its new home, and refusals that change nothing.
# Usage: sethome.sh POSTLET SETHOME STUB
set -eu
. "$(dirname "$0")/lib.sh"
need cmp
make_work sethome
cp "$postlet" "$work/original"
cp "$postlet" "$work/bin"
mkdir "$work/home"

# The configured area: the home, a NUL, the whole marker, a NUL, exactly once in the binary.
count=$(LC_ALL=C grep -caP '/var/qmail\x00PATCHSPACE-{24}END\x00' "$work/original" || true)
check "default area present once" 1 "$count"

check "reads the default" /var/qmail "$("$sethome" "$work/bin")"

long48=/tmp/$(printf '%043d' 0)
long49=/tmp/$(printf '%044d' 0)
check "48-byte path length" 48 ${#long48}

# In place: each row is the home to set; the output names the home it replaces.
previous=/var/qmail
for dir in /opt/qmail "$long48" /q "$work/home" /var/qmail; do
  out=$("$sethome" "$work/bin" "$dir")
  check "patch to $dir: report" "$work/bin: qmail home $previous -> $dir" "$out"
  check "patch to $dir: read back" "$dir" "$("$sethome" "$work/bin")"
  previous=$dir
done
# Back at the default, the binary is byte for byte the original again, marker and all.
cmp -s "$work/original" "$work/bin" || fail "patching back to /var/qmail does not restore the bytes"
# In place means a new file renamed over the old: through a symbolic link the file it leads to is
# replaced and the link stays; the mode stays; no scratch file is left beside it.
chmod 0751 "$work/bin"
ln -s bin "$work/link"
"$sethome" "$work/link" /q >/dev/null
[ -L "$work/link" ] || fail "in place through a link: the link was replaced"
check "in place through a link: read back" /q "$("$sethome" "$work/bin")"
check "in place: mode" 751 "$(stat -c %a "$work/bin")"
check "in place: no scratch file" "" "$(cd "$work" && ls -d ./*.sethome.* 2>/dev/null || true)"
"$sethome" "$work/bin" /var/qmail >/dev/null
rm "$work/link"

# A 48-byte home leaves no room for the marker: the area is the path and one NUL.
"$sethome" "$work/bin" "$long48" "$work/full" >/dev/null
count=$(LC_ALL=C grep -caP "${long48}\\x00" "$work/full" || true)
check "48-byte home then NUL" 1 "$count"
cmp -s "$work/original" "$work/bin" || fail "writing a copy changed the source binary"

# Into a copy, which then works in its new home and runs the injector found there.
mkdir "$work/home/bin"
cp "$stub" "$work/home/bin/qmail-inject"
mkdir "$work/home/record"
out=$("$sethome" "$work/original" "$work/home" "$work/home/postlet")
check "copy: report" "$work/home/postlet: qmail home /var/qmail -> $work/home" "$out"
[ -x "$work/home/postlet" ] || fail "the copy is not executable"
check "copy: version" "postlet (postlet) 0.1.6" "$("$work/home/postlet" --version)"
printf 'Subject: x\n\nbody\n' | "$work/home/postlet" -- joe@example.org ||
  fail "the patched copy did not submit"
check "copy: injector ran in the new home" "$work/home" "$(cat "$work/home/record/qmail-inject.cwd" 2>/dev/null)"
# And one patched to a directory that does not exist fails as documented.
"$sethome" "$work/original" "$work/nowhere" "$work/lost" >/dev/null
status=0
err=$("$work/lost" --version 2>&1) || status=$?
check "missing home: status" 111 "$status"
check "missing home: diagnostic" \
  "lost: fatal: failed to switch to qmail home directory: file does not exist" "$err"

# Refusals: status 1, one line on standard error, nothing written.
cp /bin/true "$work/true"
cat "$work/original" "$work/original" >"$work/twice"
cp "$work/original" "$work/victim"
while IFS='|' read -r target dir expected; do
  cp "$target" "$work/before"
  status=0
  err=$("$sethome" "$target" $dir 2>&1 >/dev/null) || status=$?
  check "refuse $target $dir: status" 1 "$status"
  check "refuse $target $dir: diagnostic" "$expected" "$err"
  cmp -s "$work/before" "$target" || fail "refused $target $dir but changed it"
done <<ROWS
$work/victim|$long49|postlet-sethome: home directory longer than 48 bytes: $long49
$work/victim|qmail|postlet-sethome: the home directory must be an absolute path: qmail
$work/true|/opt/qmail|postlet-sethome: $work/true: no qmail home area
$work/true||postlet-sethome: $work/true: no qmail home area
$work/twice|/opt/qmail|postlet-sethome: $work/twice: more than one qmail home area
ROWS
# A refused copy is not created.
status=0
"$sethome" "$work/victim" "$long49" "$work/never" 2>/dev/null || status=$?
check "refused copy: status" 1 "$status"
[ ! -e "$work/never" ] || fail "a refused copy was written"
status=0
"$sethome" "$work/victim" "" 2>/dev/null || status=$?
check "empty home: status" 1 "$status"
status=0
"$sethome" 2>/dev/null || status=$?
check "no arguments: status" 2 "$status"
check "--help" "usage: postlet-sethome BINARY [DIR [OUTPUT]]" "$("$sethome" --help | head -n 1)"

# Stripped as packagers strip, the area is still found by the signature before it, through any
# number of patches, whatever the length of the home.
need strip
need install
while IFS='|' read -r how command; do
  cp "$work/original" "$work/unstripped"
  rm -f "$work/stripped"
  eval "$command"
  [ -f "$work/stripped" ] || { fail "$how: no stripped binary"; continue; }
  if readelf -s "$work/stripped" 2>/dev/null | grep -q qmail_home; then fail "$how: symbols left"; fi
  cp "$work/stripped" "$work/stripped-before"
  check "$how: reads the default" /var/qmail "$("$sethome" "$work/stripped" 2>&1)"
  for dir in /q "$long48" /opt/qmail /var/qmail; do
    "$sethome" "$work/stripped" "$dir" >/dev/null 2>&1 || fail "$how: cannot patch to $dir"
    check "$how: read back $dir" "$dir" "$("$sethome" "$work/stripped" 2>&1)"
  done
  cmp -s "$work/stripped-before" "$work/stripped" || fail "$how: back at /var/qmail, bytes differ"
  # Stripping a patched binary again keeps its home.
  "$sethome" "$work/stripped" /q >/dev/null
  strip "$work/stripped"
  check "$how: patched, then stripped again" /q "$("$sethome" "$work/stripped" 2>&1)"
done <<ROWS
strip|strip -o "$work/stripped" "$work/unstripped"
install -s|install -s -m 0755 "$work/unstripped" "$work/stripped"
strip-unneeded|strip --remove-section=.comment --remove-section=.note --strip-unneeded -o "$work/stripped" "$work/unstripped"
ROWS
finish

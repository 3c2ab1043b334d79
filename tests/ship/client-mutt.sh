#!/bin/sh
# mutt in batch mode with its sendmail setting pointing at a home-patched postlet. mutt hands
# over the message in a temporary file, so postlet reads its header and must rewind it.
# Usage: client-mutt.sh POSTLET SETHOME STUB
set -eu
. "$(dirname "$0")/lib.sh"
need mutt
make_home
mkdir "$home/mutt"
cd "$home/work"

# One row per message: envelope_from | inherited variable (or -) | expected arguments after
# argv[0] | expected identity variables, separated by ";" (empty: none). QMAILINJECT with f hides
# the From field, so the login name is used.
while IFS='|' read -r envelope inherited args identity; do
  clear_record
  cat >"$home/mutt/muttrc" <<RC
set sendmail="$home/postlet -oem -oi"
set from="Ann <ann@example.com>"
set use_from=yes
set envelope_from=$envelope
set record=""
set copy=no
set hostname=example.com
set folder="$home/mutt"
set spoolfile="$home/mutt/inbox"
set send_charset=us-ascii
RC
  set -- env -i PATH="$PATH" HOME="$home/mutt"
  [ "$inherited" = - ] || set -- "$@" "$inherited"
  row="mutt envelope_from=$envelope $inherited"
  printf 'Body line\nsecond\n' |
    "$@" mutt -n -F "$home/mutt/muttrc" -s Greetings -- 'Joe <joe@example.org>' bob@example.net ||
    fail "$row: mutt failed"
  check "$row: arguments" "$(printf 'bin/qmail-inject %s' "$args" | tr ' ' '\n')" "$(recorded argv)"
  check "$row: identity" "$(printf '%s' "$identity" | tr ';' '\n')" "$(recorded_identity)"
  check_ran_in_home "$row"
  header=$(recorded_header)
  # The injector reads from the first byte: mutt's first field is Date.
  check "$row: first line" Date: "$(printf '%s\n' "$header" | head -n 1 | cut -c1-5)"
  check_has "$row: header" "From: Ann <ann@example.com>" "$header"
  check_has "$row: header" "To: Joe <joe@example.org>, bob@example.net" "$header"
  check_has "$row: header" "Subject: Greetings" "$header"
  check "$row: body" "$(printf 'Body line\nsecond')" "$(recorded_body)"
done <<ROWS
yes|-|-a -f ann@example.com -- joe@example.org bob@example.net|
no|-|-a -- joe@example.org bob@example.net|QMAILSHOST=example.com;QMAILSUSER=ann
no|USER=www|-a -- joe@example.org bob@example.net|USER=www
no|QMAILINJECT=f|-a -- joe@example.org bob@example.net|USER=$(id -un)
ROWS
finish

#!/bin/sh
# s-nail (mailx) with its mta setting pointing at a home-patched postlet: -r, the full name it
# passes with -F, and the "--" it puts before the recipients.
# Usage: client-mailx.sh POSTLET SETHOME STUB
set -eu
. "$(dirname "$0")/lib.sh"
need s-nail
make_home
cd "$home/work"
printf 'Body line\nsecond\n' >message

# One row per message: s-nail options before the recipients (";"-separated) | recipients
# (";"-separated) | expected arguments after argv[0] | expected identity variables set by postlet.
# -r also writes the From field, which then is the identity: postlet adds nothing but MAILNAME.
while IFS='|' read -r options recipients args identity; do
  clear_record
  set -- env -i PATH="$PATH" HOME="$home/work" s-nail -:/ -S mta="$home/postlet" -s Greetings
  old_ifs=$IFS
  IFS=';'
  for word in $options; do set -- "$@" "$word"; done
  set -- "$@" -.
  for word in $recipients; do set -- "$@" "$word"; done
  IFS=$old_ifs
  row="s-nail [$options] [$recipients]"
  "$@" <message || fail "$row: s-nail failed"
  check "$row: arguments" "$(printf 'bin/qmail-inject %s' "$args" | tr ' ' '\n')" "$(recorded argv)"
  # s-nail exports LOGNAME itself, so postlet never needs the login name here.
  check "$row: identity" "$(printf '%s' "$identity" | tr ';' '\n')" \
    "$(recorded_identity | grep -v '^LOGNAME=' || true)"
  check_ran_in_home "$row"
  header=$(recorded_header)
  check "$row: first line" Date: "$(printf '%s\n' "$header" | head -n 1 | cut -c1-5)"
  check_has "$row: header" "Subject: Greetings" "$header"
  check "$row: body" "$(cat message)" "$(recorded_body)"
done <<ROWS
-r;Ann <ann@example.com>|joe@example.org|-a -f ann@example.com -- joe@example.org|MAILNAME=Ann
|joe@example.org;Bob <bob@example.net>|-a -- joe@example.org bob@example.net|
-r;bounce@example.com|-bs@example.org|-a -f bounce@example.com -- -bs@example.org|
ROWS
finish

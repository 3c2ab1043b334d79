#!/bin/sh
# PHP's mail() with sendmail_path pointing at a home-patched postlet: additional headers, the
# fifth parameter, and what reaches qmail-inject. Usage: client-php.sh POSTLET SETHOME STUB
set -eu
. "$(dirname "$0")/lib.sh"
need php
make_home
login=$(id -un)
cd "$home/work"

# One row per call: sendmail_path options | fifth parameter | inherited variable (or -) |
# expected arguments of qmail-inject after argv[0] | expected identity variables, separated by ";".
while IFS='|' read -r options fifth inherited args identity; do
  clear_record
  set -- env -i PATH="$PATH"
  [ "$inherited" = - ] || set -- "$@" "$inherited"
  "$@" php -n -d sendmail_path="$home/postlet $options" -r '
    $ok = mail("joe@example.org", "Greetings", "Body line\nsecond",
               "From: Ann <ann@example.com>\r\nX-Test: 1", $argv[1]);
    exit($ok ? 0 : 1);' -- "$fifth" || fail "$options $fifth: mail() returned false"
  row="php [$options] [$fifth]"
  check "$row: arguments" "$(printf 'bin/qmail-inject %s' "$args" | tr ' ' '\n')" "$(recorded argv)"
  check "$row: identity" "$(printf "%s" "$identity" | tr ";" "\n")" "$(recorded_identity)"
  check_ran_in_home "$row"
  # PHP 8 ends the header lines and the message with CR LF; qmail-inject gets LF alone.
  expected=$(printf 'To: joe@example.org\nSubject: Greetings\nFrom: Ann <ann@example.com>\nX-Test: 1\n\nBody line\nsecond\n' | od -c)
  check "$row: message bytes" "$expected" "$(od -c <"$home/record/qmail-inject.stdin")"
done <<ROWS
-t -i|-fbounce@example.com|-|-H -f bounce@example.com --|QMAILHOST=example.com;QMAILUSER=bounce
-t -i||-|-H --|USER=$login
-t -i|-f bounce@example.com -F 'Web Server'|USER=www|-H -f bounce@example.com --|MAILNAME=Web Server;QMAILHOST=example.com;QMAILUSER=bounce;USER=www
-t -i -f www@example.com|-fbounce@example.com|QMAILUSER=web|-H -f bounce@example.com --|QMAILUSER=web
-t -oi -oem|-rnoreply@example.net|LOGNAME=www|-H -f noreply@example.net --|LOGNAME=www;QMAILHOST=example.net;QMAILUSER=noreply
ROWS
finish

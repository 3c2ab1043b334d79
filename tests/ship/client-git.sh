#!/bin/sh
# git send-email with --smtp-server naming a home-patched postlet: git pipes the message and
# passes -i, the recipients without "--", and -f with --envelope-sender.
# Usage: client-git.sh POSTLET SETHOME STUB
set -eu
. "$(dirname "$0")/lib.sh"
need git
git send-email --dump-aliases </dev/null >/dev/null 2>&1 || skip "git send-email is not installed or cannot run"
make_home
cd "$home/work"
set -- env -i PATH="$PATH" HOME="$home/work" GIT_CONFIG_NOSYSTEM=1 \
  GIT_AUTHOR_NAME=Ann GIT_AUTHOR_EMAIL=ann@example.com \
  GIT_COMMITTER_NAME=Ann GIT_COMMITTER_EMAIL=ann@example.com
make_patch "$@"
patch=$(ls "$home/work/patches"/*.patch)
login=$(id -un)

# One row per mail: send-email options (";"-separated) | expected arguments after argv[0] |
# expected identity variables. The message comes through a pipe, so no header is read.
while IFS='|' read -r options args identity; do
  clear_record
  set -- env -i PATH="$PATH" HOME="$home/work" GIT_CONFIG_NOSYSTEM=1 \
    GIT_AUTHOR_NAME=Ann GIT_AUTHOR_EMAIL=ann@example.com \
    GIT_COMMITTER_NAME=Ann GIT_COMMITTER_EMAIL=ann@example.com \
    git send-email --smtp-server="$home/postlet" --from='Ann <ann@example.com>' \
    --confirm=never --suppress-cc=all --no-annotate --quiet
  old_ifs=$IFS
  IFS=';'
  for word in $options; do set -- "$@" "$word"; done
  IFS=$old_ifs
  row="git send-email [$options]"
  "$@" "$patch" </dev/null >/dev/null || fail "$row: git send-email failed"
  check "$row: arguments" "$(printf 'bin/qmail-inject %s' "$args" | tr ' ' '\n')" "$(recorded argv)"
  check "$row: identity" "$(printf '%s' "$identity" | tr ';' '\n')" "$(recorded_identity)"
  check_ran_in_home "$row"
  header=$(recorded_header)
  check "$row: first line" "From: Ann <ann@example.com>" "$(printf '%s\n' "$header" | head -n 1)"
  check_has "$row: header" "Subject: [PATCH] Add f" "$header"
  # The body is the patch as format-patch wrote it, after its own header.
  check "$row: body" "$(sed '1,/^$/d' "$patch")" "$(recorded_body)"
done <<ROWS
--to=Joe <joe@example.org>;--cc=bob@example.net|-a -- joe@example.org bob@example.net|USER=$login
--to=joe@example.org;--envelope-sender=bounce@example.com|-a -f bounce@example.com -- joe@example.org|QMAILHOST=example.com;QMAILUSER=bounce
ROWS
finish

#!/bin/sh
# A mail client of the shipped tests, once, with its sendmail command pointing at a home-patched
# postlet in front of the real qmail-inject: the envelope qmail-queue got and the From: line.
# Usage: client.sh CLIENT POSTLET SETHOME OUT   (OUT: the folder of the downstream build step)
set -eu
client=$1
# Absolute, since the programs are linked from another folder.
out=$(cd "$4" 2>/dev/null && pwd || echo "$4")
shift
# lib.sh takes POSTLET and SETHOME as the first two arguments; it has no use for the third here.
. "$(dirname "$0")/../ship/lib.sh"

status=$(cat "$out/status" 2>/dev/null || echo "fail: the downstream build step has not run")
case $status in
ready) ;;
skip:*) skip "$status" ;;
*) echo "FAIL: $status" >&2 && exit 1 ;;
esac

make_home "$out/home/bin/qmail-inject"
cd "$home/work"
# Every client runs with only these variables and those it names; QQREC_DIR is read by nothing
# but the recorder behind qmail-inject.
set -- env -i PATH="$PATH" HOME="$home/work" QQREC_DIR="$home/record"

case $client in
php)
  need php
  "$@" php -n -d sendmail_path="$home/postlet -t -i" -r '
    exit(mail("joe@example.org", "Greetings", "Body", "From: Ann <ann@example.com>",
              "-fbounce@example.com") ? 0 : 1);' || fail "mail() returned false"
  envelope='bounce@example.com joe@example.org'
  ;;
mutt)
  need mutt
  # Without envelope_from the sender comes from the From field of mutt's file.
  cat >muttrc <<RC
set sendmail="$home/postlet -oem -oi"
set from="Ann <ann@example.com>"
set use_from=yes
set envelope_from=no
set record=""
set copy=no
set hostname=example.com
set folder="$home/work"
set spoolfile="$home/work/inbox"
RC
  printf 'Body\n' | "$@" mutt -n -F muttrc -s Greetings -- 'Joe <joe@example.org>' bob@example.net ||
    fail "mutt failed"
  envelope='ann@example.com joe@example.org bob@example.net'
  ;;
mailx)
  need s-nail
  printf 'Body\n' | "$@" s-nail -:/ -S mta="$home/postlet" -s Greetings \
    -r 'Ann <ann@example.com>' -. joe@example.org || fail "s-nail failed"
  envelope='ann@example.com joe@example.org'
  ;;
git)
  need git
  git send-email --dump-aliases </dev/null >/dev/null 2>&1 || skip "git send-email cannot run"
  set -- "$@" GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=Ann GIT_AUTHOR_EMAIL=ann@example.com \
    GIT_COMMITTER_NAME=Ann GIT_COMMITTER_EMAIL=ann@example.com
  git_patch "$@"
  "$@" git send-email --smtp-server="$home/postlet" --from='Ann <ann@example.com>' \
    --envelope-sender=bounce@example.com --to='Joe <joe@example.org>' --cc=bob@example.net \
    --confirm=never --suppress-cc=all --no-annotate --quiet patches/*.patch </dev/null >/dev/null ||
    fail "git send-email failed"
  envelope='bounce@example.com joe@example.org bob@example.net'
  ;;
*)
  echo "usage: client.sh php|mutt|mailx|git POSTLET SETHOME OUT" >&2
  exit 2
  ;;
esac

# The sender and the recipients, blank-separated, as qmail-queue got them.
queued=$( (tr '\0' '\n' <"$home/record/envelope") 2>/dev/null | sed -n 's/^[FT]//p' | tr '\n' ' ')
check "$client: envelope" "$envelope " "$queued"
check "$client: From line" "From: Ann <ann@example.com>" \
  "$( (sed '/^$/q' "$home/record/message") 2>/dev/null | grep -m 1 '^From:' || true)"
check "$client: no CR queued" "" "$( (tr -cd '\r' <"$home/record/message") 2>/dev/null)"
finish

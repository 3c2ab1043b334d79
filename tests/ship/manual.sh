#!/bin/sh
# The manual pages: lint without a single message, render with man -l, and name every option of
# the table. Usage: manual.sh POSTLET SETHOME STUB SOURCE_DIR
set -eu
. "$(dirname "$0")/lib.sh"
source=$4
page=$source/doc/postlet.8
table=$source/src/front/options.cc

for doc in "$page" "$source/doc/postlet-sethome.8" "$source/debian/newaliases.8"; do
  if command -v mandoc >/dev/null 2>&1; then
    out=$(mandoc -Tlint -Wstyle "$doc" 2>&1) || true
    check "mandoc -Tlint $doc" "" "$out"
  fi
  if command -v groff >/dev/null 2>&1; then
    out=$(groff -t -ww -z -man "$doc" 2>&1) || true
    check "groff -ww $doc" "" "$out"
  fi
done
command -v mandoc >/dev/null 2>&1 || command -v groff >/dev/null 2>&1 || skip "neither mandoc nor groff"

# Rendered text, overstrikes removed.
if command -v man >/dev/null 2>&1; then
  text=$(MANWIDTH=100 man -l "$page" 2>/dev/null | sed 's/.\x08//g')
elif command -v mandoc >/dev/null 2>&1; then
  text=$(mandoc -Tascii -Owidth=100 "$page" | sed 's/.\x08//g')
else
  text=$(groff -t -man -Tascii -rLL=100n "$page" | sed 's/.\x08//g')
fi
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "MODES AND NAMES" RECIPIENTS "SENDER IDENTITY" \
  ENVIRONMENT "EXIT STATUS" DIAGNOSTICS FILES SECURITY CAVEATS EXAMPLES COPYRIGHT; do
  check_has "rendered section" "$section" "$text"
done

# One licence: the file that says it, and the manual's COPYRIGHT section naming it.
check "LICENSE" "ISC License" "$(head -n 1 "$source/LICENSE")"
copyright=$(printf '%s\n' "$text" | sed -n '/^COPYRIGHT$/,$p' | tr -s ' \n' '  ')
case $copyright in *"under the ISC licence"*) ;; *) fail "COPYRIGHT names no ISC licence: $copyright" ;; esac

# The options section: each option starts a tagged paragraph of its own, at the indent of a
# section's text (the line after NAME), which differs between formatters (7 columns, or 5).
options=$(printf '%s\n' "$text" | sed -n '/^OPTIONS$/,/^MODES AND NAMES$/p')
indent=$(printf '%s\n' "$text" | sed -n '/^NAME$/{n;s/^\( *\).*/\1/p;q;}')
tags=$(printf '%s\n' "$options" | sed -n "s/^$indent\(--*[A-Za-z?][-a-z]*\).*/\1/p" | LC_ALL=C sort -u)

# Every row of the table, hidden ones included, and the parser's own requests.
letters=$(sed -n "s/.*\.short_name = '\(.\)'.*/-\1/p" "$table")
names=$(sed -n 's/.*\.long_name = "\([^"]*\)".*/--\1/p' "$table")
check "rows found in the table" 34 "$(printf '%s\n%s\n' "$letters" "$names" | wc -l | tr -d ' ')"
wanted=$(printf '%s\n%s\n--help\n--longhelp\n--version\n-?\n' "$letters" "$names" | LC_ALL=C sort -u)
check "options documented, one paragraph each" "$wanted" "$tags"

# The listing of the built binary agrees: every option it shows is in the manual.
make_home
shown=$("$home/postlet" --longhelp | sed -n 's/^  \(-[A-Za-z]\)[ ,].*/\1/p; s/^      \(--[a-z-]*\).*/\1/p')
for option in $shown; do
  printf '%s\n' "$tags" | grep -qxF -- "$option" || fail "$option is listed by --longhelp but not documented"
done
check "options listed by --longhelp" 25 "$(printf '%s\n' "$shown" | wc -l | tr -d ' ')"

# Every refusal and fatal text of the sources appears in the manual word for word.
for text in "please use fastforward/newaliases instead." \
  "daemonmode not implemented. start qmail instead." \
  "queuemode not implemented. send an alarm to qmail-send." \
  "failed to switch to qmail home directory" "failed to seek in mail" \
  "failed to stat the message" "full name too long." "out of memory" "no recipients. give addresses as arguments or use -t." \
  "sender address must be one line." "full name must be one line." "unable to write output" \
  "warning: unable to look up the login name" \
  "no recipients. the header names no To:, Cc: or Bcc: address." "failed to read the message" \
  "failed to pass on the message" "failed to make a pipe for the message" \
  "failed to start the message pump"; do
  grep -qF -- "$text" "$source/src/front/modes.cc" "$source/src/front/main.cc" \
    "$source/src/front/options.cc" "$source/src/front/identity.cc" \
    "$source/src/front/hand_over.cc" "$source/src/header/header_capture.cc" \
    "$source/src/message/message.cc" "$source/src/message/pump.cc" \
    "$source/src/lib/diagnostics.cc" ||
    fail "\"$text\" is no longer in the sources"
  printf '%s\n' "$text" | sed 's/-/\\-/g' >"$home/pattern"
  printf '%s\n' "$text" >>"$home/pattern"
  grep -qF -f "$home/pattern" "$page" || fail "\"$text\" is not in the manual"
done
finish

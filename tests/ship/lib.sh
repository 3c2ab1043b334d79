# lib.sh: shared by the scripts of tests/ship. Sourced after `set -eu`, with the built postlet,
# postlet-sethome and the recording stub as the first three arguments of the script.
#
# make_home gives a temporary qmail home: a copy of postlet patched to it with postlet-sethome,
# and the stub as bin/qmail-inject, which records under record/ what it was given. make_home
# PROGRAM links PROGRAM there in place of the stub.

postlet=$1
sethome=$2
stub=$3
failures=0
SKIP_STATUS=77

skip() {
  echo "SKIP: $*"
  exit "$SKIP_STATUS"
}

need() {
  command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed"
}

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# check WHAT EXPECTED ACTUAL: compares two texts and shows both when they differ.
check() {
  if [ "$2" != "$3" ]; then
    fail "$1"
    printf '  expected:\n%s\n  actual:\n%s\n' "$2" "$3" | sed 's/^/    /' >&2
  fi
}

# check_has WHAT NEEDLE TEXT: TEXT holds the line NEEDLE.
check_has() {
  if ! printf '%s\n' "$3" | grep -qxF -- "$2"; then
    fail "$1: no line \"$2\" in"
    printf '%s\n' "$3" | sed 's/^/    /' >&2
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

make_home() {
  base=${TMPDIR:-/tmp}
  # The home must fit the 48 bytes of the patch area.
  [ ${#base} -le 24 ] || base=/tmp
  home=$(mktemp -d "$base/postlet-ship.XXXXXX")
  trap 'rm -rf "$home"' EXIT
  mkdir "$home/bin" "$home/record" "$home/work"
  "$sethome" "$postlet" "$home" "$home/postlet" >/dev/null
  if [ $# -eq 0 ]; then
    cp "$stub" "$home/bin/qmail-inject"
  else
    ln -s "$1" "$home/bin/qmail-inject"
  fi
}

# make_patch ENV...: in the current folder, a git repository with one commit and its patch under
# patches/; every git command runs behind the words given (env -i and the variables).
make_patch() {
  "$@" git init -q repo
  printf 'x\n' >repo/f
  "$@" git -C repo add f
  "$@" git -C repo commit -q -m 'Add f'
  "$@" git -C repo format-patch -q -1 -o "$PWD/patches"
}

# What the stub recorded, NUL-separated entries shown one a line.
recorded() {
  if [ -f "$home/record/qmail-inject.$1" ]; then
    tr '\0' '\n' <"$home/record/qmail-inject.$1"
  else
    echo "(qmail-inject did not run)"
  fi
}

# The identity variables of the injector's environment, sorted.
recorded_identity() {
  recorded env | grep -E '^(MAILNAME|QMAILUSER|QMAILHOST|QMAILSUSER|QMAILSHOST|USER|LOGNAME|MAILUSER)=' |
    LC_ALL=C sort || true
}

# The message body as the injector read it: everything after the first empty line.
recorded_body() {
  sed '1,/^$/d' "$home/record/qmail-inject.stdin"
}

recorded_header() {
  sed '/^$/q' "$home/record/qmail-inject.stdin" | sed '$d'
}

clear_record() {
  rm -f "$home"/record/*
}

# Checks common to every submission: the injector ran in the home, as bin/qmail-inject.
check_ran_in_home() {
  check "$1: working directory of qmail-inject" "$home" "$(recorded cwd)"
}

#!/bin/sh
# setup.sh: builds qmail-inject, qmail-smtpd and the queue recorder from the downstream source
# fixture into OUT/programs, and lays out the qmail home OUT/home they were built for.
# Writes OUT/status: "ready"; "skip: REASON" when the fixture or a C compiler is missing; or
# "fail: REASON" when the build itself went wrong (its output is in OUT/build.log). It exits 0 in
# every case, so the project still builds; the end-to-end tests read the status and skip or fail.
# OUT/ready exists only after a good build, so the build step runs again until there is one.
# Usage: setup.sh OUT CC [FIXTURE_DIR]      (none named: the tests are skipped)
set -u
out=$1
CC=$2
fixture=${3:-}
export CC
mkdir -p "$out" || exit 1
rm -f "$out/status" "$out/ready"
finish() {
  printf '%s\n' "$1" >"$out/status"
  [ "$1" != ready ] || : >"$out/ready"
  exit 0
}
[ -n "$fixture" ] ||
  finish "skip: no qmail sources named (configure with -DPOSTLET_DOWNSTREAM_DIR=DIR)"
[ -f "$fixture/build.sh" ] || finish "skip: no qmail sources at $fixture (no build.sh there)"
# CC may carry arguments ("gcc -m64"); the first word must be a program.
set -- $CC
[ $# -gt 0 ] && command -v "$1" >/dev/null 2>&1 || finish "skip: no C compiler ($CC)"

home=$out/home
rm -rf "$out/programs" "$home"
sh "$fixture/build.sh" "$out/programs" "$home" >"$out/build.log" 2>&1 ||
  finish "fail: building the downstream programs failed, see $out/build.log"
mkdir -p "$home/bin" "$home/control" || finish "fail: cannot create $home"
cp "$out/programs/qmail-inject" "$out/programs/qmail-smtpd" "$out/programs/qmail-queue-recorder" \
  "$home/bin/" || finish "fail: cannot install the programs into $home/bin"

# qmail-queue: saves the environment it was started with (that of qmail-inject or qmail-smtpd,
# which pass theirs on unchanged) beside the recorder's files, adds a line to the file runs for
# each start, then is the recorder. qmail starts it in the home, so the relative path holds.
env_program=$(command -v env) || finish "fail: no env program"
cat >"$home/bin/qmail-queue" <<WRAPPER || finish "fail: cannot write $home/bin/qmail-queue"
#!/bin/sh
$env_program >"\${QQREC_DIR:-.}/environ"
echo started >>"\${QQREC_DIR:-.}/runs"
exec bin/qmail-queue-recorder
WRAPPER
chmod 755 "$home/bin/qmail-queue"

# The host names every expected envelope and From line of the tests is written with.
control() {
  printf '%s\n' "$2" >"$home/control/$1" || finish "fail: cannot write control/$1"
}
control me host.example.net
control defaulthost example.net
control defaultdomain example.net
control plusdomain example.net
control idhost host.example.net
control rcpthosts example.net
# qmail-smtpd refuses a larger message unless DATABYTES says otherwise.
control databytes 1000
finish ready

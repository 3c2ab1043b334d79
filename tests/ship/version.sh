#!/bin/sh
# One version everywhere: the project version of CMakeLists.txt is what --version prints, what
# the manuals carry in their title lines, and the upstream part of debian/changelog's latest
# entry. Usage: version.sh POSTLET SETHOME STUB SOURCE_DIR PROJECT_VERSION
set -eu
. "$(dirname "$0")/lib.sh"
source=$4
version=$5
make_home
check "--version" "postlet (postlet) $version" "$("$home/postlet" --version)"
for page in doc/postlet.8 doc/postlet-sethome.8 debian/newaliases.8; do
  check "$page title" "\"postlet $version\"" \
    "$(sed -n 's/^\.TH [^ ]* 8 [^ ]* \("[^"]*"\).*/\1/p' "$source/$page")"
done
changelog=$(sed -n '1s/^postlet (\([^)]*\)).*/\1/p' "$source/debian/changelog")
check "debian/changelog" "$version" "${changelog%%-*}"
finish

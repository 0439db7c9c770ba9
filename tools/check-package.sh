#!/usr/bin/env bash
# Checks what a release build installs and packages, touching nothing outside a temporary
# folder: the files `cmake --install` puts under a prefix, the manual page rendered with
# every warning as an error, and the Debian package: its fields, its files, and its binary
# (extracted, never installed) run on examples/.
#   tools/check-package.sh [build-folder]     (default build/release, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}

version=$("$build/cli/voltrane" --version | sed -n 's/^voltrane //p')
[ -n "$version" ] || fail "$build/cli/voltrane --version names no version"
# What the install rules promise, relative to the prefix.
expected=$( (
  echo bin/voltrane
  echo share/man/man1/voltrane.1
  echo share/doc/voltrane/README.md
  echo share/doc/voltrane/LICENSE
  for example in examples/*; do echo "share/doc/voltrane/$example"; done
) | LC_ALL=C sort)
files_under() { (cd "$1" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort); }

echo "-- cmake --install into a temporary prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ "$(files_under "$work/prefix")" = "$expected" ] ||
  fail "installed files differ from the install rules:"$'\n'"$(diff <(echo "$expected") <(files_under "$work/prefix"))"
[ "$("$work/prefix/bin/voltrane" --version)" = "voltrane $version" ] || fail "installed binary"

echo "-- the manual page, every groff warning an error"
page="$work/prefix/share/man/man1/voltrane.1"
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff warns about voltrane.1:"$'\n'"$warnings"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
  grep -qx "\.SH $section" "$page" || fail "voltrane.1 has no section $section"
done

echo "-- the Debian package"
arch=$(dpkg --print-architecture)
deb="$build/voltrane_${version}_${arch}.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || fail "cpack made no $deb"
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
for check in "Package=voltrane" "Version=$version" "Architecture=$arch" "Section=utils"; do
  [ "$(field "${check%%=*}")" = "${check#*=}" ] || fail "$deb: ${check%%=*} is not ${check#*=}"
done
for name in Maintainer Description; do [ -n "$(field $name)" ] || fail "$deb: no $name"; done
for library in libc6 libstdc++6 zlib1g; do
  field Depends | tr ',' '\n' | grep -q "^ *$library\( \|$\)" || fail "$deb: Depends lacks $library"
done
dpkg-deb -x "$deb" "$work/root"
[ "$(files_under "$work/root/usr")" = "$expected" ] ||
  fail "the package's files differ from the install rules"
"$work/root/usr/bin/voltrane" "examples/*.gpx" "$work/examples.ggz" >"$work/run.txt" ||
  fail "the packaged binary failed on examples/:"$'\n'"$(cat "$work/run.txt")"
unzip -tq "$work/examples.ggz" >/dev/null || fail "the packaged binary wrote a broken archive"
unzip -l "$work/examples.ggz" | grep -q " index/com/garmin/geocaches/v0/index.xml$" ||
  fail "the packaged binary's archive has no index"
echo "package checks passed: $deb"

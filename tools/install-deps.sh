#!/bin/sh
# Installs what is missing for building Voltrane on Debian and Ubuntu, through apt-get:
#   tools/install-deps.sh          the tool: cmake, g++, make, zlib1g-dev
#   tools/install-deps.sh test     the tool and its tests: also libgtest-dev, libexpat1-dev
#                                  (the tests' strict XML check), unzip (an independent reader)
#                                  and zip (ZIP sources made as users get them)
#   tools/install-deps.sh package  the tool and its Debian package: also dpkg-dev and file
#                                  (dpkg-shlibdeps)
#   tools/install-deps.sh ci       everything .ci/run uses: all of the above, clang with its
#                                  sanitizer and fuzzer runtimes, clang-format, groff-base
#                                  (the manual page)
# Without apt-get it prints the packages to install and stops with status 1.
set -eu

tool="cmake g++ make zlib1g-dev"
tests="libgtest-dev libexpat1-dev unzip zip"
package="dpkg-dev file"
ci="clang libclang-rt-dev clang-format groff-base"
case "${1:-tool}" in
  tool) wanted="$tool" ;;
  test) wanted="$tool $tests" ;;
  package) wanted="$tool $package" ;;
  ci) wanted="$tool $tests $package $ci" ;;
  *)
    echo "usage: $0 [tool|test|package|ci]" >&2
    exit 2
    ;;
esac

if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  echo "This system has no apt-get. Install these packages (Debian names; the names differ" >&2
  echo "elsewhere) with its package manager, then run the build again:" >&2
  echo "  $wanted" >&2
  exit 1
fi

missing=""
for package in $wanted; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "Missing packages:$missing" >&2
  echo "Run this script as root, or install sudo, or install them yourself." >&2
  exit 1
fi
echo "Installing:$missing"
$sudo apt-get update
# shellcheck disable=SC2086 # one word per package
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing

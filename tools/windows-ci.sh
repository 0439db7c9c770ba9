#!/usr/bin/env bash
# The Windows stage of CI: installs what is missing (MinGW-w64, its zlib, Wine), makes a Wine
# prefix, builds voltrane.exe with the windows preset and checks it (only system DLLs), runs
# the unit tests cross-built for Windows under Wine, then runs voltrane.exe end to end under
# Wine from the Linux test build (tests/win/WineEndToEndTest.cpp), whose tools (unzip, expat)
# check what it wrote. Usage: tools/windows-ci.sh [linux-build-folder, default build/test]
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:-build/test}

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=$([ "$(id -u)" = 0 ] || echo sudo)
  $sudo apt-get update -q && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" || exit 1
fi

# A prefix of the stage's own, headless (no Mono, no Gecko), quiet, kept warm by one server.
export WINEPREFIX=$PWD/build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VOLTRANE_WINE=/usr/bin/wine
mkdir -p "$WINEPREFIX"
wineserver -p  # before anything starts one that would end when idle
trap 'wineserver -k || true' EXIT
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot --init >/dev/null 2>&1
wine cmd /c ver >/dev/null 2>&1 || true  # the first start is the slow one

echo "== voltrane.exe (windows preset)"
rm -rf build/windows build/windows-test
cmake --preset windows && cmake --build --preset windows || exit 1
exe=build/windows/cli/voltrane.exe
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }' | sort -u)
echo "imports:" $imports
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll | shell32.dll | version.dll | user32.dll | advapi32.dll) ;;
    *) echo "voltrane.exe needs $dll, which Windows does not ship" >&2; exit 1 ;;
  esac
done
# The version shown comes from the version resource.
version=$(wine "$exe" --version)
[ "$version" = "voltrane 1.0.0.2" ] || { echo "voltrane.exe --version: $version" >&2; exit 1; }
(cd build/windows && cpack)
zip=build/windows/voltrane-1.0.0.2-win64.zip
# Listed once: grep -q leaves a pipe early, and unzip's SIGPIPE would fail the pipeline.
listing=$(unzip -l "$zip") || exit 1
for member in voltrane.exe README.md LICENSE examples/pocket-query.gpx; do
  grep -q " voltrane-1.0.0.2-win64/$member\$" <<<"$listing" || {
    echo "$zip holds no $member" >&2
    exit 1
  }
done

echo "== Unit tests under Wine (windows-test preset)"
# Wine now and then fails to start a process at all (no output, a non-zero status, no time
# spent): a test gets a second run, and one that fails twice fails the stage.
cmake --preset windows-test && cmake --build --preset windows-test &&
  ctest --preset windows-test --repeat until-pass:2 || exit 1

echo "== voltrane.exe end to end under Wine, checked from Linux"
[ -x "$linux_build/tests/voltrane_tests" ] || {
  cmake --preset test && cmake --build --preset test || exit 1
  linux_build=build/test
}
VOLTRANE_WINDOWS_EXE=$PWD/$exe "$linux_build/tests/voltrane_tests" --gtest_filter='WineRuns.*'

#!/usr/bin/env bash
# The release for Windows users: dist/Klangnetz_DesktopTool-VERSION-win32.zip and
# -win64.zip (program, Inivault.dll with inivault.h and its import libraries
# Inivault.lib for Visual Studio and Inivault.dll.a for MinGW, LIESMICH.txt, LICENSE) and
# dist/SHA256SUMS, from the builds of the presets windows and windows64 (built first
# when KN_PACKAGE_BUILD is not 0). The same commit gives the same bytes: file times
# are the commit's, the order is fixed, and the binaries carry no path or link time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

version=$(sed -nE 's/^project\(Klangnetz VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
stamp=$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000.00)

rm -rf dist build/package
mkdir -p dist build/package
for arch in win32 win64; do
  preset=$(scripts/wine.sh preset $arch)
  if [ "${KN_PACKAGE_BUILD:-1}" != 0 ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Klangnetz_DesktopTool Inivault >/dev/null
  fi
  name=Klangnetz_DesktopTool-$version-$arch
  stage=build/package/$name
  mkdir -p "$stage"
  cp "build/$preset/desktop/Klangnetz_DesktopTool.exe" "build/$preset/inivault/Inivault.dll" \
    "build/$preset/inivault/Inivault.lib" "build/$preset/inivault/Inivault.dll.a" \
    inivault/include/inivault.h "$stage/"
  # Users get no debug sections; strip would stamp the time of day into the header.
  case $arch in win32) tools=i686-w64-mingw32 ;; *) tools=x86_64-w64-mingw32 ;; esac
  for bin in "$stage/Klangnetz_DesktopTool.exe" "$stage/Inivault.dll"; do
    SOURCE_DATE_EPOCH=0 "$tools-strip" --strip-debug "$bin"
    if "$tools-objdump" -h "$bin" | grep -q '\.debug'; then
      echo "package: $bin still has debug sections" >&2
      exit 1
    fi
  done
  sed 's/\r$//' LICENSE | sed 's/$/\r/' >"$stage/LICENSE"
  # German, for Notepad: Windows-1252 with CR LF.
  sed "s/@VERSION@/$version/g" packaging/LIESMICH.txt | iconv -f UTF-8 -t WINDOWS-1252 | sed 's/$/\r/' \
    >"$stage/LIESMICH.txt"
  chmod 644 "$stage"/*
  TZ=UTC touch -t "$stamp" "$stage"/* "$stage"
  (cd build/package && TZ=UTC zip -X -q -D "$root/dist/$name.zip" \
    "$name/Klangnetz_DesktopTool.exe" "$name/Inivault.dll" "$name/Inivault.lib" "$name/Inivault.dll.a" \
    "$name/inivault.h" "$name/LIESMICH.txt" "$name/LICENSE")
done
(cd dist && sha256sum ./*.zip | sed 's# \./# #' >SHA256SUMS)
echo "package: $(ls dist | tr '\n' ' ')"
cat dist/SHA256SUMS

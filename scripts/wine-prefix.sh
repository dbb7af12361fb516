#!/usr/bin/env bash
# Prepares a 32-bit Wine prefix once: fonts for GDI+, no crash dialog, unmanaged windows.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
[ -f "$prefix/.kn-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$prefix"
timeout 120 wineboot -i >/dev/null 2>&1 </dev/null
fonts="$prefix/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$fonts/"
timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
timeout 60 wineserver -w
touch "$prefix/.kn-ready"

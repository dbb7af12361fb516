#!/usr/bin/env bash
# The one way this project's scripts start Wine: picks the loader for the architecture,
# keeps every run inside its own prefix, prepares that prefix once.
#   wine.sh probe                          "win32" where 32-bit Windows programs can run here,
#                                          else "win64" (the reason goes to stderr)
#   wine.sh arch                           architecture for the demo and tools: $KN_WINE_ARCH
#                                          if set, else what the probe finds
#   wine.sh preset ARCH                    the CMake preset (and build/ folder) of ARCH
#   wine.sh ARCH PREFIX prepare            makes PREFIX once
#   wine.sh ARCH PREFIX run PROGRAM [ARG]  runs PROGRAM under Wine in PREFIX (prepared first)
#   wine.sh ARCH PREFIX server [ARG]       runs wineserver for PREFIX (-k, -w)
#   wine.sh ARCH PREFIX trust CERT.der     PREFIX (prepared first) trusts this certificate
#                                          authority for TLS; the host's trust is untouched
# KN_WINE32_LOADER replaces the 32-bit loader (a test can point it at a program the
# kernel refuses); KN_WINE_DPI gives a new prefix that screen resolution (dots per
# inch) instead of 96.
set -uo pipefail

# The loaders, called directly: /usr/bin/wine would take the 32-bit one whenever
# wine32 is installed, even on a kernel that cannot execute it.
loader32=${KN_WINE32_LOADER:-/usr/lib/wine/wine}
loader64=/usr/lib/wine/wine64

# Executes a 32-bit program, the loader itself: the kernel either runs it or refuses it.
probe() {
  if [ ! -e "$loader32" ]; then
    echo "no 32-bit Wine loader at $loader32" >&2
    echo win64
    return
  fi
  local out
  if out=$("$loader32" --version 2>&1 </dev/null); then
    echo win32
  else
    echo "the 32-bit Wine loader cannot run here: ${out##*: }" >&2
    echo win64
  fi
}

# The commands that need no prefix.
case ${1:-} in
  probe)
    probe
    exit 0 ;;
  arch)
    if [ -n "${KN_WINE_ARCH:-}" ]; then echo "$KN_WINE_ARCH"; else probe; fi
    exit 0 ;;
  preset)
    case ${2:-} in
      win32) echo windows ;;
      win64) echo windows64 ;;
      *) echo "wine.sh: unknown architecture '${2:-}'" >&2; exit 2 ;;
    esac
    exit 0 ;;
esac

# The prefix's architecture, loader and server.
arch=${1:?usage: wine.sh ARCH PREFIX prepare|run|server|trust ...}
prefix=${2:?usage: wine.sh ARCH PREFIX prepare|run|server|trust ...}
cmd=${3:?usage: wine.sh ARCH PREFIX prepare|run|server|trust ...}
shift 3
case $arch in
  win32) loader=$loader32 ;;
  win64) loader=$loader64 ;;
  *) echo "wine.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

# Every Wine run stays in the prefix, quiet, without Mono, Gecko, menu entries or proxies.
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy no_proxy NO_PROXY

# Runs one command of the prefix's set-up with its output in the set-up log. The lock
# (descriptor 9) is closed for it: a wineserver it starts must not hold the lock.
setup_step() {
  if ! "$@" </dev/null >>"$prefix.setup.log" 2>&1 9>&-; then
    echo "wine.sh: preparing the $arch prefix $prefix failed: $*" >&2
    tail -n 5 "$prefix.setup.log" | sed 's/^/  /' >&2
    return 1
  fi
}

# Makes the prefix once: fonts for GDI+, no crash dialog (a crash exits instead of
# hanging), unmanaged windows (Xvfb has no window manager; managed ones wait about
# 2 s on every hide), the screen resolution if asked, and a server that has finished.
prepare() {
  [ -f "$prefix/.kn-ready" ] && return 0
  mkdir -p "$prefix"
  : >"$prefix.setup.log"
  setup_step timeout 180 "$loader" wineboot -i || return 1
  local fonts=$prefix/drive_c/windows/Fonts
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$fonts/" || return 1
  setup_step timeout 60 "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
    return 1
  setup_step timeout 60 "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || return 1
  if [ -n "${KN_WINE_DPI:-}" ]; then
    setup_step timeout 60 "$loader" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
      /d "$KN_WINE_DPI" /f || return 1
  fi
  setup_step timeout 60 "$server" -w || return 1
  touch "$prefix/.kn-ready"
}

# A 32-bit number as four hex bytes, lowest first.
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# Wine's crypt32 builds its root store from the host's bundle plus the Root stores in
# the prefix's registry; a certificate there is a serialized property list: id 32 (the
# encoded certificate), 1, length, bytes, under the name of its SHA-1 hash.
trust() {  # CERT.der
  local der=$1 sha marker blob
  [ -s "$der" ] || { echo "wine.sh: no certificate at $der" >&2; return 1; }
  sha=$(sha1sum "$der" | cut -c1-40 | tr a-f A-F)
  marker=$prefix/.kn-trusts-$sha
  [ -f "$marker" ] && return 0
  blob=20000000$(le32 1)$(le32 "$(stat -c %s "$der")")$(od -An -v -tx1 "$der" | tr -d ' \n')
  if ! setup_step timeout 60 "$loader" reg add \
    "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$sha" /v Blob /t REG_BINARY /d "$blob" /f; then
    echo "wine.sh: the $arch prefix $prefix does not take the certificate $der" >&2
    return 1
  fi
  touch "$marker"
}

# Runs a function holding the prefix's lock, so runs that start together prepare the
# prefix once and one at a time.
locked() {  # function [argument...]
  exec 9>"$prefix.lock"
  flock 9
  "$@"
  local rc=$?
  exec 9>&-
  return $rc
}

# The command.
case $cmd in
  prepare) locked prepare ;;
  run)
    locked prepare || exit 1
    exec "$loader" "$@" ;;
  server) exec "$server" "$@" ;;
  trust)
    locked prepare || exit 1
    locked trust "${1:?usage: wine.sh ARCH PREFIX trust CERT.der}" ;;
  *) echo "wine.sh: unknown command '$cmd'" >&2; exit 2 ;;
esac

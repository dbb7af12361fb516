#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Quiet and quick when everything is already there. Wine's TLS (HTTPS in WinINet) needs
# GnuTLS of each architecture, which --no-install-recommends would leave out; openssl
# makes the tests' certificates.
#
# A registry that is mid-sync or briefly away must not stop the whole project: the
# index update is tried three times, and 32-bit Wine, which only the win32 test stage
# needs, is a group of its own. When only that group cannot be installed, the script
# says why in one line, records the reason in $KN_SETUP_NOTE (scripts/test.sh reports
# it) and succeeds; the next run tries the group again.
set -euo pipefail
cd "$(dirname "$0")/.."

BASE=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 xvfb xdotool
      x11-utils imagemagick xcompmgr libgtest-dev googletest libbenchmark-dev
      cmake g++ make fonts-wine clang libclang-rt-14-dev
      nlohmann-json3-dev rapidjson-dev libssl-dev libinih-dev python3-pefile zip unzip
      openssl libgnutls30
      llvm lld dpkg-dev file pkgconf)
BASE+=(${EXTRA_PKGS:-})
WIN32=(wine32:i386 libgnutls30:i386)
note=${KN_SETUP_NOTE:-build/setup-win32.txt}
pauses=(5 15)  # before the second and the third update

missing() {  # package...
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t base_missing < <(missing "${BASE[@]}")
mapfile -t win32_missing < <(missing "${WIN32[@]}")
if [ ${#win32_missing[@]} -eq 0 ]; then rm -f "$note"; fi
[ ${#base_missing[@]} -eq 0 ] && [ ${#win32_missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing $(echo "${base_missing[*]}" "${win32_missing[*]}" | xargs)"
if [ ${#win32_missing[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# Indexes that still fail after the last try are not fatal here: the install decides.
for try in 1 2 3; do
  $SUDO apt-get update -qq && break
  [ "$try" -eq 3 ] && { echo "setup: the package index is not complete after 3 tries; installing from what there is" >&2; break; }
  echo "setup: updating the package index failed; trying again in ${pauses[try - 1]} s" >&2
  sleep "${pauses[try - 1]}"
done

# apt's error lines, joined into one.
apt_reason() {  # log
  grep -E '^(E|W): ' "$1" | grep -v 'index files failed' | sed 's/^[EW]: //' | paste -sd ' ' | cut -c1-400
}
install() {  # log package...
  local log=$1
  shift
  $SUDO apt-get install -y -qq --no-install-recommends -o Acquire::Retries=3 "$@" >"$log" 2>&1
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ ${#base_missing[@]} -gt 0 ] && ! install "$log" "${base_missing[@]}"; then
  cat "$log" >&2
  echo "setup: the packages every stage needs could not be installed (apt: $(apt_reason "$log"))" >&2
  exit 1
fi
if [ ${#win32_missing[@]} -gt 0 ]; then
  if install "$log" "${win32_missing[@]}"; then
    rm -f "$note"
  else
    reason=$(apt_reason "$log")
    echo "setup: 32-bit Wine cannot be installed now (apt: ${reason:-exit status of apt-get install}): the 32-bit Windows tests are not run; the 64-bit ones are"
    mkdir -p "$(dirname "$note")"
    printf '32-bit Wine could not be installed (apt: %s)\n' "${reason:-exit status of apt-get install}" >"$note"
  fi
fi
exit 0

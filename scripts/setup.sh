#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Quiet and quick when everything is already there. Wine's TLS (HTTPS in WinINet) needs
# GnuTLS of each architecture, which --no-install-recommends would leave out; openssl
# makes the tests' certificates.
set -euo pipefail

PKGS=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32:i386 wine64 xvfb xdotool
      x11-utils imagemagick xcompmgr libgtest-dev googletest libbenchmark-dev
      cmake g++ make fonts-wine clang libclang-rt-14-dev
      nlohmann-json3-dev rapidjson-dev libssl-dev libinih-dev python3-pefile zip unzip
      openssl libgnutls30 libgnutls30:i386
      llvm lld dpkg-dev file pkgconf)
PKGS+=(${EXTRA_PKGS:-})

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

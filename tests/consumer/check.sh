#!/usr/bin/env bash
# Inivault as another project gets it: installed into a scratch prefix (or packed and
# unpacked as Debian packages), moved elsewhere, then built against through its CMake
# package and through pkg-config, and the results read with readelf or objdump.
#
# Usage: check.sh native  SOURCE_DIR BUILD_DIR VERSION
#        check.sh deb     SOURCE_DIR BUILD_DIR VERSION
#        check.sh windows win32|win64 SOURCE_DIR WINDOWS_BUILD_DIR VERSION
# Exit 0 when everything holds, 1 at the first failure, 77 (skipped) when the Windows
# build folder holds no Inivault.dll. CMAKE, CPACK and CC name the tools to use.
set -euo pipefail

mode=$1
shift
if [ "$mode" = windows ]; then
  arch=$1
  shift
fi
src=$1 build=$2 version=$3
consumer_src=$src/tests/consumer
CMAKE=${CMAKE:-cmake}
CPACK=${CPACK:-cpack}
CC=${CC:-cc}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# A list of lines as one line of words.
oneline() {
  tr '\n' ' ' <<<"$1" | sed 's/ *$//'
}

if [ "$mode" = windows ] && [ ! -f "$build/inivault/Inivault.dll" ]; then
  echo "$build/inivault/Inivault.dll not built: build that Windows preset first"
  exit 77
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/inivault-consumer.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Runs a command with its output in a log, shown only when it fails.
quiet() {
  local log=$tmp/step.log
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    fail "$*"
  fi
}

# The names a PE file imports from one DLL, one a line, sorted.
pe_imports() {  # objdump file dll
  "$1" -p "$2" | awk -v dll="$3" '
    /^[[:space:]]*DLL Name:/ { inside = (tolower($3) == tolower(dll)); next }
    inside && /^[[:space:]]*[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { print $3 }
    inside && /^$/ { inside = 0 }' | sort -u
}

# The names a PE file exports, one a line, sorted.
pe_exports() {  # objdump file
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort -u
}

# The functions inivault.h declares for this platform, one a line, sorted.
header_functions() {  # header windows|other
  local defs=
  [ "$2" = windows ] && defs=-D_WIN32
  # Marks the declarations so that they survive the preprocessor's choice of platform.
  sed -E 's/^INIVAULT_API (.*)INIVAULT_CALL /IV_DECLARED \1IV_CALL /' "$1" |
    "$CC" -E -P $defs -x c - |
    sed -n 's/^IV_DECLARED .*IV_CALL \([A-Za-z_][A-Za-z_0-9]*\)(.*/\1/p' | sort -u
}

expect_file() {
  [ -e "$1" ] || fail "$1 is missing"
}

# What caller.c leaves behind: the settings it wrote, unscrambled again.
check_settings_file() {
  local want
  want=$(printf '[Konfig]\r\nstations=fixed-81;fixed-82\r\ninterval=3\r\n\r\n' | od -An -c)
  [ -f "$1" ] || fail "the consumer wrote no $1"
  [ "$(od -An -c "$1")" = "$want" ] || fail "$1 holds $(od -An -c "$1"), expected $want"
}

# The CMake package and the .pc file of a Linux prefix, each with a consumer that runs.
consume_linux() {  # prefix label
  local prefix=$1 label=$2 b=$tmp/use-$2
  mkdir -p "$b"
  local args=(-S "$consumer_src" -B "$b/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$CC"
    -DCMAKE_BUILD_TYPE=Release)
  # The version file: another major version is refused, older or newer; this one found.
  local want
  for want in 2 0.9; do
    if "$CMAKE" "${args[@]}" -DINIVAULT_WANT=$want >"$b/want.log" 2>&1; then
      fail "$label: find_package(Inivault $want) succeeded against version $version"
    fi
    grep -q "InivaultConfig.cmake, version: $version" "$b/want.log" ||
      { cat "$b/want.log" >&2; fail "$label: find_package(Inivault $want) failed for another reason"; }
  done
  quiet "$CMAKE" "${args[@]}" -DINIVAULT_WANT=1
  grep -q "^Inivault_DIR:PATH=$prefix/lib/cmake/Inivault$" "$b/cmake/CMakeCache.txt" ||
    fail "$label: find_package found $(grep '^Inivault_DIR' "$b/cmake/CMakeCache.txt"), not the one in $prefix"
  quiet "$CMAKE" --build "$b/cmake"
  readelf -d "$b/cmake/consumer" | grep -q 'NEEDED.*\[libInivault\.so\.1\]' ||
    fail "$label: the CMake consumer does not need libInivault.so.1 by its SONAME"
  quiet "$b/cmake/consumer" "$b/cmake.ini"
  check_settings_file "$b/cmake.ini"

  export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=''
  [ "$(pkg-config --modversion inivault)" = "$version" ] ||
    fail "$label: pkg-config says version $(pkg-config --modversion inivault), expected $version"
  # shellcheck disable=SC2046 # the flags are words
  quiet "$CC" -o "$b/pc-consumer" "$consumer_src/caller.c" $(pkg-config --cflags --libs inivault)
  quiet env LD_LIBRARY_PATH="$prefix/lib" "$b/pc-consumer" "$b/pc.ini"
  check_settings_file "$b/pc.ini"
  unset PKG_CONFIG_LIBDIR PKG_CONFIG_PATH
}

# The shared library: its name, what it needs and exactly what it exports.
check_shared_library() {  # lib-dir
  local so=$1/libInivault.so.$version major=${version%%.*} needed exported expected map
  expect_file "$so"
  [ "$(readlink "$1/libInivault.so.$major")" = "libInivault.so.$version" ] ||
    fail "$1/libInivault.so.$major does not link to libInivault.so.$version"
  readelf -d "$so" | grep -q "SONAME.*\[libInivault\.so\.$major\]" || fail "$so: SONAME is not libInivault.so.$major"
  # The C library only: its libc, libm and dynamic loader.
  needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
    grep -vxE 'libc\.so\.6|libm\.so\.6|ld-linux[-a-z0-9_]*\.so\.[0-9]+' || true)
  [ -z "$needed" ] || fail "$so needs more than the C library: $(oneline "$needed")"
  exported=$(readelf --dyn-syms -W "$so" | awk '$7 != "UND" && ($5 == "GLOBAL" || $5 == "WEAK") {sub(/@.*/, "", $8); print $8}' | sort -u)
  expected=$(header_functions "$src/inivault/include/inivault.h" other)
  map=$(sed -n '/global:/,/local:/p' "$src/inivault/Inivault.map" | tr -s ' ;' '\n' | grep -xE '[A-Za-z_][A-Za-z_0-9]*' | sort -u)
  [ -n "$expected" ] || fail "no functions found in inivault.h"
  [ "$map" = "$expected" ] || fail "Inivault.map lists $(oneline "$map"), inivault.h declares $(oneline "$expected")"
  [ "$exported" = "$expected" ] || fail "$so exports $(oneline "$exported"), expected exactly $(oneline "$expected")"
}

case $mode in
native)
  quiet "$CMAKE" --install "$build" --prefix "$tmp/installed"
  # Nothing in the tree may point back to where it was installed.
  mv "$tmp/installed" "$tmp/prefix"
  p=$tmp/prefix
  for f in include/inivault.h lib/libInivault.so lib/cmake/Inivault/InivaultConfig.cmake \
    lib/cmake/Inivault/InivaultConfigVersion.cmake lib/cmake/Inivault/InivaultTargets.cmake \
    lib/pkgconfig/inivault.pc bin/inivault share/man/man1/inivault.1.gz \
    share/doc/inivault/README.md share/doc/inivault/LICENSE; do
    expect_file "$p/$f"
  done
  [ "$(readlink "$p/lib/libInivault.so")" = "libInivault.so.${version%%.*}" ] ||
    fail "lib/libInivault.so does not link to libInivault.so.${version%%.*}"
  # Debian's copyright files belong to the packages only.
  [ ! -e "$p/share/doc/libinivault-dev" ] || fail "a plain install holds the Debian packages' doc folders"
  check_shared_library "$p/lib"
  [ "$("$p/bin/inivault" --version)" = "inivault $version" ] || fail "inivault --version: $("$p/bin/inivault" --version)"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C MANWIDTH=80 man --warnings -l "$p/share/man/man1/inivault.1.gz" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "the manual page has faults: $warnings"
  fi
  grep -q "inivault set" <(gzip -dc "$p/share/man/man1/inivault.1.gz") || fail "the manual page does not describe set"
  grep -q "$tmp/installed" -r "$p/lib/cmake" "$p/lib/pkgconfig" && fail "the package files name the install prefix"
  consume_linux "$p" installed
  echo "install: the tree in a moved prefix works through find_package and pkg-config"
  ;;
deb)
  major=${version%%.*}
  runtime=libinivault$major
  quiet "$CPACK" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/debs"
  declare -A contents debfile
  for pkg in "$runtime" libinivault-dev inivault-tools; do
    debs=("$tmp"/debs/"${pkg}"_*.deb)
    deb=${debs[0]}
    [ -f "$deb" ] || fail "no package $pkg among $(oneline "$(ls "$tmp/debs")")"
    [ "$(dpkg-deb -f "$deb" Package)" = "$pkg" ] || fail "$deb is package $(dpkg-deb -f "$deb" Package)"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$pkg: version $(dpkg-deb -f "$deb" Version)"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "$pkg: architecture $(dpkg-deb -f "$deb" Architecture)"
    contents[$pkg]=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' | grep -v '/$' | sort)
    grep -qx "/usr/share/doc/$pkg/copyright" <<<"${contents[$pkg]}" || fail "$pkg has no copyright file"
    dpkg-deb -x "$deb" "$tmp/root"
    debfile[$pkg]=$deb
  done
  depends=$(dpkg-deb -f "${debfile[$runtime]}" Depends)
  # shlibdeps found the C library, and nothing of the C++ run time.
  grep -qE '(^|, )libc6 \(>= [0-9.]+\)' <<<"$depends" || fail "$runtime: Depends '$depends' does not name libc6"
  ! grep -qE 'libstdc|libgcc' <<<"$depends" || fail "$runtime: Depends '$depends' names the C++ run time"
  dev_depends=$(dpkg-deb -f "${debfile[libinivault-dev]}" Depends)
  [ "$dev_depends" = "$runtime (= $version)" ] || fail "libinivault-dev: Depends '$dev_depends'"
  grep -qE '(^|, )libc6 ' <<<"$(dpkg-deb -f "${debfile[inivault-tools]}" Depends)" ||
    fail "inivault-tools: no dependency on libc6"
  shlibs=$(dpkg-deb -I "${debfile[$runtime]}" shlibs)
  [ "$shlibs" = "libInivault $major $runtime (>= $version)" ] || fail "$runtime: shlibs '$shlibs'"
  dpkg-deb -I "${debfile[$runtime]}" triggers | grep -qx 'activate-noawait ldconfig' ||
    fail "$runtime: no ldconfig trigger"
  # What goes where; the library package holds nothing that a later major version
  # would ship as well, so both can be installed side by side.
  others=$(grep -vE "^/usr/lib/libInivault\.so\.$major(\..*)?$|^/usr/share/doc/$runtime/" <<<"${contents[$runtime]}" || true)
  [ -z "$others" ] || fail "$runtime holds $(oneline "$others")"
  for f in /usr/lib/libInivault.so.$major /usr/lib/libInivault.so.$version; do
    grep -qx "$f" <<<"${contents[$runtime]}" || fail "$runtime lacks $f"
  done
  for f in /usr/include/inivault.h /usr/lib/libInivault.so /usr/lib/cmake/Inivault/InivaultConfig.cmake \
    /usr/lib/pkgconfig/inivault.pc; do
    grep -qx "$f" <<<"${contents[libinivault-dev]}" || fail "libinivault-dev lacks $f"
  done
  for f in /usr/bin/inivault /usr/share/man/man1/inivault.1.gz; do
    grep -qx "$f" <<<"${contents[inivault-tools]}" || fail "inivault-tools lacks $f"
  done
  shared=$(printf '%s\n' "${contents[@]}" | sort | uniq -d)
  [ -z "$shared" ] || fail "files in more than one package: $(oneline "$shared")"
  file -L "$tmp/root/usr/lib/libInivault.so.$version" | grep -q ', stripped' || fail "the packaged library is not stripped"
  check_shared_library "$tmp/root/usr/lib"
  consume_linux "$tmp/root/usr" unpacked
  echo "deb: $(oneline "$(printf '%s\n' "${debfile[@]##*/}" | sort)") unpacked work through find_package and pkg-config"
  ;;
windows)
  case $arch in
  win32) triple=i686-w64-mingw32 toolchain=mingw-i686 machine="i386 -k" msvc=i686-pc-windows-msvc ;;
  win64) triple=x86_64-w64-mingw32 toolchain=mingw-x86_64 machine=i386:x86-64 msvc=x86_64-pc-windows-msvc ;;
  *) fail "unknown architecture $arch" ;;
  esac
  objdump=$triple-objdump
  quiet "$CMAKE" --install "$build" --prefix "$tmp/installed"
  mv "$tmp/installed" "$tmp/prefix"
  p=$tmp/prefix
  for f in bin/Inivault.dll lib/Inivault.dll.a lib/Inivault.lib include/inivault.h \
    lib/cmake/Inivault/InivaultConfig.cmake lib/pkgconfig/inivault.pc \
    share/doc/inivault/README.md share/doc/inivault/LICENSE; do
    expect_file "$p/$f"
  done
  exports=$(pe_exports "$objdump" "$p/bin/Inivault.dll")
  [ "$exports" = "$(header_functions "$src/inivault/include/inivault.h" windows)" ] ||
    fail "Inivault.dll exports $(oneline "$exports"), inivault.h declares $(oneline "$(header_functions "$src/inivault/include/inivault.h" windows)")"

  # A program linked through an import library binds by the names the DLL exports
  # (32-bit: the stdcall names Name@N of the caller mapped to the plain ones).
  check_links() {  # exe how
    local imports missing
    imports=$(pe_imports "$objdump" "$1" Inivault.dll)
    [ -n "$imports" ] || fail "$2: $1 imports nothing from Inivault.dll"
    missing=$(comm -23 <(echo "$imports") <(echo "$exports"))
    [ -z "$missing" ] || fail "$2: $1 imports $(oneline "$missing") that Inivault.dll does not export"
    grep -qx ReadINIFile <<<"$imports" || fail "$2: $1 does not import ReadINIFile"
    pe_imports "$objdump" "$1" oleaut32.dll | grep -qx SysFreeString || fail "$2: $1 does not import SysFreeString"
  }

  quiet "$CMAKE" -S "$consumer_src" -B "$tmp/cmake" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$p" -DCMAKE_BUILD_TYPE=Release
  grep -q "^Inivault_DIR:PATH=$p/lib/cmake/Inivault$" "$tmp/cmake/CMakeCache.txt" ||
    fail "find_package found $(grep '^Inivault_DIR' "$tmp/cmake/CMakeCache.txt"), not the one in $p"
  quiet "$CMAKE" --build "$tmp/cmake"
  check_links "$tmp/cmake/consumer.exe" "find_package"

  # shellcheck disable=SC2046 # the flags are words
  quiet "$triple-gcc-posix" -o "$tmp/pc-consumer.exe" "$consumer_src/caller.c" \
    $(PKG_CONFIG_LIBDIR=$p/lib/pkgconfig PKG_CONFIG_PATH='' pkg-config --cflags --libs inivault)
  check_links "$tmp/pc-consumer.exe" "pkg-config"

  # Visual Studio's way: its compiler's object format, Inivault.lib, no run time at all
  # (the system's import libraries made from a list of the few functions used).
  if [ "$arch" = win32 ]; then
    printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess@4\n' >"$tmp/kernel32.def"
    printf 'LIBRARY oleaut32.dll\nEXPORTS\n  SysFreeString@4\n' >"$tmp/oleaut32.def"
  else
    printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess\n' >"$tmp/kernel32.def"
    printf 'LIBRARY oleaut32.dll\nEXPORTS\n  SysFreeString\n' >"$tmp/oleaut32.def"
  fi
  for lib in kernel32 oleaut32; do
    # shellcheck disable=SC2086 # machine may carry -k
    quiet llvm-dlltool -m $machine -d "$tmp/$lib.def" -l "$tmp/$lib.lib"
  done
  quiet clang --target=$msvc -ffreestanding -O1 -DCONSUMER_NO_CRT -I"$p/include" -c "$consumer_src/caller.c" \
    -o "$tmp/caller.obj"
  quiet lld-link /nologo /entry:consumer_start /subsystem:console /nodefaultlib /out:"$tmp/msvc-consumer.exe" \
    "$tmp/caller.obj" "$p/lib/Inivault.lib" "$tmp/kernel32.lib" "$tmp/oleaut32.lib"
  check_links "$tmp/msvc-consumer.exe" "Inivault.lib"
  echo "$arch: the installed tree links through find_package, pkg-config and Inivault.lib"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac

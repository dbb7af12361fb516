#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for apt-get, dpkg, dpkg-query, sudo and sleep that
# record their calls: a registry that lags, a 32-bit group it cannot deliver, a base
# group it cannot deliver. No real package is installed or removed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# The stand-ins keep their state in $STUB: installed (one package a line), arches,
# update-failures (how many updates still fail), fail-install (a package whose install
# fails, with the error line apt gives), calls (every call).
bin=$work/bin
mkdir -p "$bin"
cat >"$bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB/calls"
case " $* " in
  *" update "*)
    n=$(cat "$STUB/update-failures" 2>/dev/null || echo 0)
    if [ "$n" -gt 0 ]; then
      echo $((n - 1)) >"$STUB/update-failures"
      echo "E: Failed to fetch http://mirror/Packages.xz  File has unexpected size. Mirror sync in progress?" >&2
      exit 100
    fi
    exit 0 ;;
  *" install "*)
    if [ -s "$STUB/fail-install" ]; then
      read -r pkg message <"$STUB/fail-install"
      if [[ " $* " == *" $pkg "* ]]; then echo "E: $message" >&2; exit 100; fi
    fi
    for a in "$@"; do [[ $a == -* || $a == install || $a == Acquire::* ]] || echo "$a" >>"$STUB/installed"; done
    exit 0 ;;
esac
STUB
cat >"$bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
pkg=${!#}
grep -qxF "$pkg" "$STUB/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
STUB
cat >"$bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB/calls"
case $1 in
  --print-foreign-architectures) cat "$STUB/arches" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$STUB/arches" ;;
esac
STUB
printf '#!/usr/bin/env bash\necho "sleep $*" >>"$STUB/calls"\n' >"$bin/sleep"
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/*

scenario() {  # name: a fresh state
  export STUB=$work/$1
  mkdir -p "$STUB"
  : >"$STUB/calls"
  export KN_SETUP_NOTE=$STUB/note.txt
}
setup() { PATH="$bin:$PATH" bash "$root/scripts/setup.sh" >"$STUB/out" 2>&1; }
calls() { grep -c "^$1" "$STUB/calls"; }

# (a) The index update fails twice, then works: retried after 5 s and 15 s, everything installed.
scenario lagging
echo 2 >"$STUB/update-failures"
setup
check "a lagging index: exit 0" test $? -eq 0
check "a lagging index: three updates" test "$(calls 'apt-get .*update')" -eq 3
check "a lagging index: pauses of 5 s and 15 s" test "$(grep '^sleep' "$STUB/calls" | tr '\n' ' ')" = "sleep 5 sleep 15 "
check "a lagging index: i386 added before the update" grep -qx 'dpkg --add-architecture i386' "$STUB/calls"
check "a lagging index: downloads retried" grep -q 'install .*-o Acquire::Retries=3' "$STUB/calls"
check "a lagging index: 32-bit Wine installed" grep -qx 'wine32:i386' "$STUB/installed"
check "a lagging index: no reason recorded" test ! -e "$KN_SETUP_NOTE"
: >"$STUB/calls"
setup
check "everything installed: nothing asked" test ! -s "$STUB/calls"

# (b) The 32-bit group cannot be installed: the base group is, the reason is said and kept.
scenario no32
echo 'wine32:i386 Unable to correct problems, you have held broken packages.' >"$STUB/fail-install"
setup
check "no 32-bit Wine: exit 0" test $? -eq 0
check "no 32-bit Wine: the base group installed" grep -qx 'wine64' "$STUB/installed"
check "no 32-bit Wine: one line with apt's reason" test "$(grep -c '32-bit Wine cannot be installed now (apt: Unable to correct problems, you have held broken packages.)' "$STUB/out")" -eq 1
check "no 32-bit Wine: the reason recorded" grep -q 'held broken packages' "$KN_SETUP_NOTE"
plan=$(KN_WINE32_LOADER=$work/no-loader bash "$root/scripts/test.sh" --plan 2>&1)
check "no 32-bit Wine: test.sh lists win32 as not run, with apt's reason" \
  grep -q '^plan: not run: .*win32.*held broken packages' <<<"$plan"
check "no 32-bit Wine: test.sh still runs win64" grep -q '^plan: run: .*win64' <<<"$plan"
rm "$STUB/fail-install"
setup
check "a later run installs the 32-bit group" grep -qx 'wine32:i386' "$STUB/installed"
check "a later run drops the recorded reason" test ! -e "$KN_SETUP_NOTE"

# (c) The base group cannot be installed: a failure, with apt's message.
scenario nobase
echo 'cmake Unable to locate package cmake' >"$STUB/fail-install"
setup
check "no base group: exit non-zero" test $? -ne 0
check "no base group: apt's message shown" grep -q 'Unable to locate package cmake' "$STUB/out"
check "no base group: nothing 32-bit tried" test "$(calls 'apt-get .*install')" -eq 1

[ $failures -eq 0 ] || { for s in lagging no32 nobase; do echo "--- $s"; cat "$work/$s/out" "$work/$s/calls"; done; }
exit $((failures > 0))

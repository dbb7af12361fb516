#!/usr/bin/env bash
# Fails when an include in desktop/ runs up a layer, or when Win32 code sits in a
# portable folder. Layers, top to bottom:
#   app/ -> overlay/ settings_dialog/ stats/ dialogs/ -> platform/ -> core/ json/ win/ -> units/
# core/ and json/ are portable and win/ knows nothing of the program, so none of the
# three includes from the other two, apart from core/ using json/; a subsystem
# includes from no other subsystem. The file-safety library filesafe/ stands below
# both deliverables: desktop/ reaches it only through its public header, from
# platform/ only, and filesafe/ includes nothing but its own headers.
# Usage: scripts/check-layers.sh [desktop folder [filesafe folder]]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:-"$here/../desktop"}
filesafe=${2:-"$here/../filesafe"}
cd "$root" || exit 2

# What the files of each folder may include.
declare -A may=(
  [units]="units"
  [json]="units json"
  [win]="units win"
  [core]="units json core"
  [platform]="units json win core platform"
  [overlay]="units json win core platform overlay"
  [settings_dialog]="units json win core platform settings_dialog"
  [stats]="units json win core platform stats"
  [dialogs]="units json win core platform dialogs"
  [app]="units json win core platform overlay settings_dialog stats dialogs app"
)
portable="units core json"

bad=0
while IFS= read -r file; do
  folder=${file%%/*}
  allowed=${may[$folder]:-}
  if [ -z "$allowed" ]; then
    continue
  fi
  name=${file##*/}
  if [[ " $portable " == *" $folder "* ]]; then
    case $name in
      *_win.cpp | *_win.h)
        echo "desktop/$file: Win32 code in the portable folder $folder/ (its place is platform/)"
        bad=1
        ;;
    esac
    if grep -qiE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<windows\.h>' "$file"; then
      echo "desktop/$file: <windows.h> in the portable folder $folder/"
      bad=1
    fi
  fi
  while IFS= read -r inc; do
    [[ $inc == */* ]] || continue
    top=${inc%%/*}
    if [ "$top" = filesafe ]; then
      if [ "$folder" != platform ] || [ "$inc" != filesafe/filesafe.h ]; then
        echo "desktop/$file: includes \"$inc\", but only platform/ may include filesafe/, and only filesafe/filesafe.h"
        bad=1
      fi
      continue
    fi
    [ -n "${may[$top]:-}" ] || continue
    if [[ " $allowed " != *" $top "* ]]; then
      echo "desktop/$file: includes \"$inc\", but $folder/ may include only from: $allowed"
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' \) | sed 's#^\./##' | sort)

# What filesafe/ includes in quotes lies in filesafe/.
while IFS= read -r file; do
  while IFS= read -r inc; do
    if [ ! -f "$filesafe/include/$inc" ] && [ ! -f "$filesafe/src/$inc" ] && [ ! -f "$filesafe/$(dirname "$file")/$inc" ]; then
      echo "filesafe/$file: includes \"$inc\", which is not one of filesafe/'s own headers"
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$filesafe/$file")
done < <(cd "$filesafe" && find . -type f \( -name '*.h' -o -name '*.cpp' \) | sed 's#^\./##' | sort)

if [ $bad -ne 0 ]; then
  echo "check-layers: includes run against the layers of desktop/ and filesafe/ (see above)" >&2
  exit 1
fi
echo "check-layers: every include in desktop/ points down; filesafe/ includes only its own headers"

#!/usr/bin/env bash
# Regenerates the committed icons (needs ImageMagick). Run from this folder.
set -euo pipefail
font=/usr/share/wine/fonts/tahomabd.ttf
for s in 16 32 48; do
  convert -size ${s}x${s} xc:none -fill '#2086EB' -draw "roundrectangle 0,0,$((s-1)),$((s-1)),$((s/5)),$((s/5))" \
    -fill '#EB8620' -font "$font" -pointsize $((s*3/4)) -gravity center -annotate +0+0 K \
    -define png:color-type=6 /tmp/kn_prog_$s.png
done
convert /tmp/kn_prog_16.png /tmp/kn_prog_32.png /tmp/kn_prog_48.png program.ico
convert -size 16x16 xc:none -fill '#EB8620' -draw "circle 7.5,7.5 7.5,1" \
  -stroke black -strokewidth 2 -draw "line 7.5,7.5 7.5,3" -draw "line 7.5,7.5 11,7.5" \
  -define png:color-type=6 /tmp/kn_busy.png
convert /tmp/kn_busy.png busy.ico
rm -f /tmp/kn_prog_*.png /tmp/kn_busy.png

#!/usr/bin/env bash
# Draws Vannor's icon (a chip with a write arrow on a radio-blue tile) at 256 pixels and scales
# it down to the sizes the window, the desktop entry and the package use. The PNGs are committed,
# so building needs no ImageMagick; run this only after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"

master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT

# The radio waves round the antenna dot at 70,84, as short straight strokes: this ImageMagick
# closes stroked arcs and polylines with a chord.
waves=()
for radius in 22 42; do
  while read -r segment; do waves+=(-draw "line $segment"); done < <(
    awk -v r="$radius" 'BEGIN {
      for (a = 190; a < 260; a += 10) {
        p = a * 3.14159265 / 180; q = (a + 10) * 3.14159265 / 180
        printf "%.1f,%.1f %.1f,%.1f\n", 70 + r * cos(p), 84 + r * sin(p), 70 + r * cos(q), 84 + r * sin(q)
      }
    }')
done


# Everything on a 256 grid: the tile, the chip with four pins a side, the arrow into the chip,
# and radio waves at the top left.
convert -size 256x256 xc:none \
  -fill '#1f4e8c' -stroke '#0e2a52' -strokewidth 6 -draw 'roundrectangle 8,8 248,248 40,40' \
  -stroke none -fill '#2f6fbf' -draw 'roundrectangle 14,14 242,130 34,34' \
  -fill '#d8dde6' \
  -draw 'rectangle 82,98 96,118' -draw 'rectangle 114,98 128,118' \
  -draw 'rectangle 146,98 160,118' -draw 'rectangle 178,98 192,118' \
  -draw 'rectangle 82,218 96,236' -draw 'rectangle 114,218 128,236' \
  -draw 'rectangle 146,218 160,236' -draw 'rectangle 178,218 192,236' \
  -draw 'rectangle 50,130 70,144' -draw 'rectangle 50,158 70,172' -draw 'rectangle 50,186 70,200' \
  -draw 'rectangle 204,130 224,144' -draw 'rectangle 204,158 224,172' \
  -draw 'rectangle 204,186 224,200' \
  -fill '#f2f4f8' -stroke '#0e2a52' -strokewidth 5 -draw 'roundrectangle 68,116 206,220 12,12' \
  -stroke none -fill '#1f4e8c' -font DejaVu-Sans-Bold -pointsize 46 \
  -draw "text 84,188 'DSP'" \
  -fill '#ff9a1f' -stroke '#7a3f00' -strokewidth 4 \
  -draw 'polygon 118,20 156,20 156,62 180,62 137,106 94,62 118,62' \
  -stroke '#ffffff' -strokewidth 8 -fill none "${waves[@]}" \
  -stroke none -fill '#ffffff' -draw 'circle 70,84 70,92' \
  "$master"

for size in 16 32 48 64 128 256; do
  convert "$master" -filter Lanczos -resize ${size}x${size} -depth 8 -strip "vannor-${size}.png"
done

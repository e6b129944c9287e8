#!/bin/sh
# Draws the program's logo (368 x 83) and its 128 x 128 icon. Run once; the PNGs are committed.
set -e
cd "$(dirname "$0")"
convert -size 368x83 gradient:'#1a1a40'-'#101010' \
  -fill '#f01010' -draw 'rectangle 0,62 368,65' \
  -fill '#f0e810' -draw 'rectangle 0,66 368,69' \
  -fill '#10f010' -draw 'rectangle 0,70 368,73' \
  -fill '#2121de' -draw 'rectangle 0,74 368,77' \
  -font Helvetica-Bold -pointsize 50 -fill '#c0c0c0' -gravity north -annotate +0+4 'VANTOREL' \
  -depth 8 -strip -define png:exclude-chunks=date,time logo.png
convert -size 128x128 xc:'#101010' \
  \( logo.png -crop 368x58+0+0 +repage -resize 120x \) -gravity north -geometry +0+24 -composite \
  -fill '#f01010' -draw 'rectangle 0,88 128,93' \
  -fill '#f0e810' -draw 'rectangle 0,94 128,99' \
  -fill '#10f010' -draw 'rectangle 0,100 128,105' \
  -fill '#2121de' -draw 'rectangle 0,106 128,111' \
  -depth 8 -strip -define png:exclude-chunks=date,time vantorel.png

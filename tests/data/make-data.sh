#!/usr/bin/env bash
# Remakes the files of this folder that come from independent tools, and their reference
# digests: the picture ImageMagick itself decodes from each file (first page, turned
# upright by -auto-orient), composited on white with the plug-in's documented rule
# (c * a + 255 * (255 - a)) / 255, FNV-1a over the pixels top-down in blue-green-red order.
# Needs imagemagick and libtiff-tools. The sample file is kept as it is (see README.md).
set -euo pipefail
cd "$(dirname "$0")"
im=/usr/bin/convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

$im -size 64x48 gradient:'#ff0000-#0000ff' -colors 16 -depth 8 -type Palette -compress lzw im-palette16-lzw.tif
$im -size 40x30 gradient:'#20c040-#f0e0a0' -depth 8 -compress zip -orient BottomRight im-rgb-zip-orient3.tif
$im -size 33x21 gradient:black-white -colorspace Gray -depth 8 -compress none "$tmp/grey.tif"
tiffcp -t -w 16 -l 16 -c packbits "$tmp/grey.tif" lt-grey-tiled-packbits-orient8.tif
tiffset -s 274 8 lt-grey-tiled-packbits-orient8.tif
$im -size 50x20 pattern:checkerboard -monochrome -compress group4 im-bilevel-group4.tif
$im -size 20x10 xc:'#c03020' -size 30x30 xc:'#2040e0' -depth 8 -compress none im-two-pages.tif
# 8-bit values widened to 16 bits (c * 257), so that every 16-to-8-bit rule gives c back.
$im -size 36x24 gradient:'#ffff00-#8000ff' -depth 8 ppm:- | $im - -depth 16 -compress none -orient RightBottom im-rgb16-orient7.tif

: > expected-digests.txt
for f in sample-orientation6-alpha.tif im-palette16-lzw.tif im-rgb-zip-orient3.tif lt-grey-tiled-packbits-orient8.tif \
         im-bilevel-group4.tif im-two-pages.tif im-rgb16-orient7.tif; do
  $im "$f[0]" -auto-orient -depth 8 -alpha on rgba:"$tmp/out.rgba"
  digest=$(python3 - "$tmp/out.rgba" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
h = 14695981039346656037
for i in range(0, len(data), 4):
    r, g, b, a = data[i:i + 4]
    for c in (b, g, r):
        c = (c * a + 255 * (255 - a)) // 255
        h = ((h ^ c) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
print(h)
PY
)
  echo "$f $digest" >> expected-digests.txt
done
cat expected-digests.txt

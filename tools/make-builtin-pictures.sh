#!/bin/bash
# Draws the tool's two raster pictures into tool/resources/: logo.png (the product logo, shown
# on the upgrade progress dialog over the darkened wallpaper) and systemrecover.jpg (the boot
# menu shown by the recovery guide), each with its twice as large "@2x" version.
#
# A developer's tool, not part of the build: the pictures it draws are committed, so building
# the tool needs neither this script nor its tools. Run it again after changing the drawing
# below and commit the result. Needs ImageMagick's convert and a CJK font (WenQuanYi Micro Hei,
# for the rollback entry of the boot menu) besides DejaVu Sans and DejaVu Sans Mono.
#
# Usage: tools/make-builtin-pictures.sh [OUTPUT_DIR]   (default: tool/resources)
set -euo pipefail

out=${1:-"$(dirname "$0")/../tool/resources"}
command -v convert >/dev/null || { echo "ImageMagick's convert is missing" >&2; exit 1; }

font_file() {
    local file
    file=$(fc-match -f '%{file}' "$1")
    if [[ -z $file || $(fc-match -f '%{family}' "$1") != *"${1%%:*}"* ]]; then
        echo "the font '$1' is missing" >&2
        exit 1
    fi
    echo "$file"
}

sans_bold=$(font_file 'DejaVu Sans:style=Bold')
mono=$(font_file 'DejaVu Sans Mono:style=Book')
mono_bold=$(font_file 'DejaVu Sans Mono:style=Bold')
cjk=$(font_file 'WenQuanYi Micro Hei Mono')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Both pictures are drawn at twice their size: as they are, they are the pictures for screens
# scaled by two ("@2x"); scaled down, which smooths every edge alike, the ordinary ones.

# The logo: the product icon's mark (an arrow rising out of a tray on a blue tile) and the name
# in white, centred as a group on a transparent 290 x 60 canvas.
convert -size 96x96 gradient:'#38a3ff'-'#0062dc' \
    \( -size 96x96 xc:none -fill white -draw 'roundrectangle 0,0 95,95 22,22' \) \
    -alpha set -compose DstIn -composite \
    -fill none -stroke white -strokewidth 9 -draw 'stroke-linecap round stroke-linejoin round
        line 48,62 48,22
        polyline 31,38 48,21 65,38
        polyline 26,58 26,74 70,74 70,58' \
    "$work/mark.png"
convert -background none -fill white -font "$sans_bold" -pointsize 64 -kerning 2 \
    label:Tevrin "$work/name.png"
convert -background none "$work/mark.png" -size 28x1 xc:none "$work/name.png" \
    -gravity center +append -gravity center -extent 580x120 PNG32:"$work/logo.png"
convert "$work/logo.png" -strip PNG32:"$out/logo@2x.png"
convert "$work/logo.png" -resize 290x60 -strip PNG32:"$out/logo.png"

# The boot menu: white-on-black text mode, a framed list of entries with the rollback entry
# under the selection bar, and the key help below the frame.
grey='#b9b9b9'
convert -size 866x464 xc:'#050505' \
    -font "$mono" -pointsize 24 -fill "$grey" \
    -gravity north -annotate +0+22 'Tevrin Boot Menu' \
    -gravity northwest \
    -fill none -stroke "$grey" -strokewidth 2 -draw 'rectangle 30,62 836,330' \
    -draw 'rectangle 36,68 830,324' -stroke none \
    -fill "$grey" -draw 'rectangle 44,147 822,181' \
    -fill "$grey" -annotate +56+78 'Tevrin OS 6' \
    -annotate +56+114 'Advanced options for Tevrin OS 6' \
    -fill '#050505' -font "$cjk" -annotate +56+148 '回退到Norvane（2026-12-01）' \
    -fill "$grey" -font "$mono" -annotate +56+186 'System setup' \
    -pointsize 20 \
    -annotate +40+350 'Use the Up and Down keys to move the selection bar.' \
    -annotate +40+378 'Press Enter to start the selected entry, or E to edit it.' \
    -font "$mono_bold" -fill '#e0e0e0' \
    -annotate +40+418 'The selected entry starts automatically in 5 s.' \
    "$work/systemrecover.png"
convert "$work/systemrecover.png" -strip -quality 92 "$out/systemrecover@2x.jpg"
convert "$work/systemrecover.png" -resize 433x232 -strip -quality 92 "$out/systemrecover.jpg"

#!/usr/bin/env bash
# Renders the program icon res/desktop/zorbek.svg (drawn by hand) into the PNGs that are committed:
# res/desktop/icons/zorbek-<N>.png for the desktop's hicolor theme, res/icons/app_<N>.png for the
# window and tray icon, and docs/icon-sizes.png, the icon at every size on a light and a dark
# ground. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
# usage: tools/render_app_icon.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh librsvg2-bin imagemagick
svg=res/desktop/zorbek.svg
sizes=(16 22 24 32 48 64 128 256)

render() {  # size, output
  rsvg-convert -w "$1" -h "$1" "$svg" -o "$2.tmp"
  # Stored without a time stamp, so that an unchanged drawing gives unchanged files.
  /usr/bin/convert "$2.tmp" -strip -define png:color-type=6 "PNG32:$2"
  rm -f "$2.tmp"
}

mkdir -p res/desktop/icons
for s in "${sizes[@]}"; do render "$s" "res/desktop/icons/zorbek-$s.png"; done
for s in 16 32 48 64 128; do render "$s" "res/icons/app_$s.png"; done

# The sheet: every size at its own pixels, then 16, 24 and 32 enlarged to show their pixels.
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
row() {  # ground colour, output
  local files=()
  for s in 256 128 64 48 32 24 22 16; do
    /usr/bin/convert -size 272x272 "xc:$1" "res/desktop/icons/zorbek-$s.png" -gravity center \
      -composite -gravity south -fill "$2" -pointsize 14 -annotate +0+2 "${s}x${s}" "$tmp/$1-$s.png"
    files+=("$tmp/$1-$s.png")
  done
  /usr/bin/convert "${files[@]}" +append "$3"
}
row '#f4f4f4' '#333333' "$tmp/light.png"
row '#2d2d2d' '#dddddd' "$tmp/dark.png"
for s in 16 24 32; do
  /usr/bin/convert "res/desktop/icons/zorbek-$s.png" -filter point -resize 256x256 \
    -background '#f4f4f4' -alpha remove -bordercolor '#f4f4f4' -border 8 "$tmp/zoom-$s.png"
done
/usr/bin/convert "$tmp/zoom-16.png" "$tmp/zoom-24.png" "$tmp/zoom-32.png" +append \
  -background '#f4f4f4' -gravity west -extent 2176x272 "$tmp/zoom.png"
/usr/bin/convert "$tmp/light.png" "$tmp/dark.png" "$tmp/zoom.png" -append -strip docs/icon-sizes.png
echo "rendered: res/desktop/icons/ res/icons/app_*.png docs/icon-sizes.png"

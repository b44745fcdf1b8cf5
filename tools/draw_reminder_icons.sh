#!/bin/sh
# Draws the reminder list's toolbar images (res/icons/schedule/NAME.png at 36 x 32 and
# NAME@2x.png at 72 x 64) with ImageMagick. Each is drawn on a 144 x 128 canvas and scaled down.
# Usage: tools/draw_reminder_icons.sh [output directory]
set -eu
out=${1:-"$(dirname "$0")/../res/icons/schedule"}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

INK='#303030'
BLUE='#1E5BC6'
GREEN='#2E9D3A'
RED='#D02020'
PAPER='#FFFDF2'

icon() {
  name=$1
  shift
  convert -size 144x128 xc:none "$@" "$tmp/$name.png"
  convert "$tmp/$name.png" -filter Lanczos -resize 36x32 -define png:color-type=6 "PNG32:$out/$name.png"
  convert "$tmp/$name.png" -filter Lanczos -resize 72x64 -define png:color-type=6 "PNG32:$out/$name@2x.png"
}

# A calendar leaf with a bell: the reminder all four commands act on.
leaf='fill '$PAPER' stroke '$INK' stroke-width 5 roundrectangle 30,18 114,112 8,8'
head='fill #D23C3C stroke none rectangle 33,21 111,40'
rings='fill none stroke '$INK' stroke-width 6 line 50,8 50,28 line 94,8 94,28'
lines='stroke #8090B0 stroke-width 6 line 44,58 100,58 line 44,74 100,74 line 44,90 84,90'

icon add -draw "$leaf" -draw "$head" -draw "$rings" -draw "$lines" \
  -fill "$GREEN" -stroke white -strokewidth 4 -draw 'circle 108,96 108,70' \
  -stroke white -strokewidth 9 -draw 'line 92,96 124,96 line 108,80 108,112'

icon modify -draw "$leaf" -draw "$head" -draw "$rings" -draw "$lines" \
  -stroke '#6B4515' -strokewidth 4 -fill '#F0B030' -draw 'polygon 128,52 140,64 92,112 78,116 82,100' \
  -fill "$INK" -stroke none -draw 'polygon 78,116 82,100 90,108'

icon details -draw "$leaf" -draw "$head" -draw "$rings" -draw "$lines" \
  -fill '#DCE8FF' -stroke "$BLUE" -strokewidth 8 -draw 'circle 100,86 100,62' \
  -stroke "$BLUE" -strokewidth 12 -draw 'line 116,104 134,122'

icon delete -draw "$leaf" -draw "$head" -draw "$rings" -draw "$lines" \
  -fill none -stroke "$RED" -strokewidth 12 -draw 'line 88,74 128,114 line 128,74 88,114'

icon calendar -fill "$PAPER" -stroke "$INK" -strokewidth 5 -draw 'roundrectangle 22,18 122,114 8,8' \
  -fill "$BLUE" -stroke none -draw 'rectangle 25,21 119,42' \
  -fill none -stroke "$INK" -strokewidth 6 -draw 'line 46,8 46,28 line 98,8 98,28' \
  -fill '#9AA3B5' -stroke none \
  -draw 'rectangle 34,52 48,64 rectangle 58,52 72,64 rectangle 82,52 96,64 rectangle 106,52 112,64' \
  -draw 'rectangle 34,72 48,84 rectangle 58,72 72,84 rectangle 106,72 112,84' \
  -draw 'rectangle 34,92 48,104 rectangle 58,92 72,104 rectangle 82,92 96,104' \
  -fill "$RED" -draw 'rectangle 82,72 96,84'

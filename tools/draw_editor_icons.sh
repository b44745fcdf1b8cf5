#!/bin/sh
# Draws the note editor's toolbar icons (res/icons/editor/NAME.png at 16 x 16 and NAME@2x.png at
# 32 x 32) with ImageMagick. Each icon is drawn on a 64 x 64 canvas and scaled down.
# Usage: tools/draw_editor_icons.sh [output directory]
set -eu
out=${1:-"$(dirname "$0")/../res/icons/editor"}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

SANS=DejaVu-Sans
SANS_BOLD=DejaVu-Sans-Bold
SERIF=DejaVu-Serif
SERIF_BOLD=DejaVu-Serif-Bold
SERIF_ITALIC=DejaVu-Serif-Italic
INK='#202020'
BLUE='#1E5BC6'
RED='#D02020'

# icon NAME DRAW-ARGUMENTS... : draws on a transparent 64 x 64 canvas, writes both sizes.
icon() {
  name=$1
  shift
  convert -size 64x64 xc:none "$@" "$tmp/$name.png"
  convert "$tmp/$name.png" -filter Lanczos -resize 16x16 "$out/$name.png"
  convert "$tmp/$name.png" -filter Lanczos -resize 32x32 "$out/$name@2x.png"
}

# Lines of text as bars: lines X1 X2 Y... (stroke 5)
lines() {
  x1=$1
  x2=$2
  shift 2
  for y in "$@"; do printf 'line %s,%s %s,%s ' "$x1" "$y" "$x2" "$y"; done
}

icon save -fill "$BLUE" -stroke '#0E2F6B' -strokewidth 3 -draw 'roundrectangle 6,6 58,58 5,5' \
  -fill white -stroke none -draw 'rectangle 15,8 49,30' \
  -fill '#C8CCD4' -draw 'rectangle 18,40 46,58' -fill "$BLUE" -draw 'rectangle 36,43 42,55' \
  -stroke '#9AA3B5' -strokewidth 2 -draw 'line 19,15 45,15 line 19,22 45,22'

icon undo -fill "$BLUE" -font "$SANS_BOLD" -pointsize 72 -gravity center -draw 'text 0,4 "↶"'
icon redo -fill "$BLUE" -font "$SANS_BOLD" -pointsize 72 -gravity center -draw 'text 0,4 "↷"'

icon cut -fill none -stroke "$INK" -strokewidth 5 -draw 'line 20,4 40,42 line 44,4 24,42' \
  -stroke "$RED" -strokewidth 6 -draw 'circle 18,50 18,41 circle 46,50 46,41'

page() {
  printf 'fill white stroke %s stroke-width 3 rectangle %s,%s %s,%s ' "$INK" "$1" "$2" "$3" "$4"
}
icon copy -draw "$(page 6 4 38 44)" -draw "$(page 24 18 56 60)" \
  -stroke '#8090B0' -strokewidth 3 -draw "$(lines 30 50 28 36 44 52)"

icon paste -fill '#B07A3A' -stroke '#6B4515' -strokewidth 3 -draw 'roundrectangle 6,10 46,60 4,4' \
  -fill '#C8CCD4' -stroke "$INK" -strokewidth 2 -draw 'roundrectangle 16,4 36,16 3,3' \
  -draw "$(page 26 24 58 62)" -stroke '#8090B0' -strokewidth 3 -draw "$(lines 32 52 34 42 50)"

icon delete -fill none -stroke "$RED" -strokewidth 10 -draw 'line 12,12 52,52 line 52,12 12,52'

icon font -fill "$INK" -font "$SERIF_BOLD" -pointsize 52 -draw 'text 2,54 "A"' \
  -fill "$RED" -font "$SERIF" -pointsize 34 -draw 'text 38,58 "a"'

icon indent_more -fill none -stroke "$INK" -strokewidth 5 -draw "$(lines 4 60 8 56) $(lines 28 60 24 40)" \
  -fill "$BLUE" -stroke none -draw 'polygon 4,20 20,32 4,44'
icon indent_less -fill none -stroke "$INK" -strokewidth 5 -draw "$(lines 4 60 8 56) $(lines 28 60 24 40)" \
  -fill "$BLUE" -stroke none -draw 'polygon 20,20 4,32 20,44'

icon paragraph -fill "$INK" -font "$SERIF_BOLD" -pointsize 60 -gravity center -draw 'text 0,2 "¶"'

icon table -fill white -stroke "$INK" -strokewidth 3 -draw 'rectangle 4,8 60,56' \
  -fill "$BLUE" -stroke none -draw 'rectangle 6,10 58,22' \
  -stroke "$INK" -strokewidth 3 -draw 'line 4,22 60,22 line 4,39 60,39 line 23,8 23,56 line 41,8 41,56'

icon separator -fill none -stroke '#8090B0' -strokewidth 5 -draw "$(lines 4 60 8 16 48 56)" \
  -stroke "$BLUE" -strokewidth 4 -draw 'line 4,28 60,28 line 4,36 60,36'

icon protect -fill '#FFF000' -stroke none -draw 'rectangle 2,30 62,62' \
  -fill none -stroke "$INK" -strokewidth 6 -draw 'arc 18,4 46,40 180,360' -draw 'line 18,22 18,30 line 46,22 46,30' \
  -fill '#C89010' -stroke '#6B4515' -strokewidth 3 -draw 'roundrectangle 10,28 54,58 4,4' \
  -fill "$INK" -stroke none -draw 'circle 32,40 32,35 rectangle 30,40 34,50'

icon datetime -fill white -stroke "$INK" -strokewidth 3 -draw 'rectangle 4,8 60,60' \
  -fill "$RED" -stroke none -draw 'rectangle 5,9 59,22' \
  -fill "$INK" -draw 'rectangle 14,2 19,14 rectangle 45,2 50,14' \
  -font "$SANS_BOLD" -pointsize 30 -gravity center -draw 'text 0,10 "12"'

icon find -fill '#DCEBFF' -stroke "$INK" -strokewidth 6 -draw 'circle 26,26 26,8' \
  -stroke '#6B4515' -strokewidth 10 -draw 'line 40,40 58,58'
icon replace -fill '#DCEBFF' -stroke "$INK" -strokewidth 5 -draw 'circle 20,40 20,26' \
  -stroke '#6B4515' -strokewidth 8 -draw 'line 30,50 40,60' \
  -fill none -stroke "$RED" -strokewidth 6 -draw 'line 22,12 46,12' \
  -fill "$RED" -stroke none -draw 'polygon 44,2 62,12 44,22'

icon bold -fill "$INK" -font "$SANS_BOLD" -pointsize 58 -gravity center -draw 'text 0,2 "B"'
icon italic -fill "$INK" -font "$SERIF_ITALIC" -pointsize 60 -gravity center -draw 'text 0,2 "I"'
icon underline -fill "$INK" -font "$SANS" -pointsize 50 -gravity north -draw 'text 0,0 "U"' \
  -gravity northwest -stroke "$INK" -strokewidth 5 -draw 'line 12,58 52,58'
icon strikeout -fill "$INK" -font "$SANS" -pointsize 56 -gravity center -draw 'text 0,2 "S"' \
  -gravity northwest -stroke "$RED" -strokewidth 5 -draw 'line 4,34 60,34'

icon align_left -fill none -stroke "$INK" -strokewidth 6 -draw "$(lines 4 60 8 32 56) $(lines 4 40 20 44)"
icon align_center -fill none -stroke "$INK" -strokewidth 6 -draw "$(lines 4 60 8 32 56) $(lines 16 48 20 44)"
icon align_right -fill none -stroke "$INK" -strokewidth 6 -draw "$(lines 4 60 8 32 56) $(lines 24 60 20 44)"

icon numbering -fill "$BLUE" -font "$SANS_BOLD" -pointsize 20 -draw 'text 2,20 "1" text 2,40 "2" text 2,60 "3"' \
  -fill none -stroke "$INK" -strokewidth 5 -draw "$(lines 22 60 12 32 52)"
icon bullets -fill "$BLUE" -stroke none -draw 'circle 9,12 9,6 circle 9,32 9,26 circle 9,52 9,46' \
  -fill none -stroke "$INK" -strokewidth 5 -draw "$(lines 22 60 12 32 52)"
icon cycle_numbering -fill "$BLUE" -font "$SANS_BOLD" -pointsize 20 -draw 'text 2,20 "1" text 2,40 "a" text 2,60 "i"' \
  -fill none -stroke "$INK" -strokewidth 5 -draw "$(lines 22 34 12 32 52)" \
  -fill "$RED" -stroke none -font "$SANS_BOLD" -pointsize 40 -draw 'text 30,48 "↻"'

icon link -fill none -stroke "$BLUE" -strokewidth 7 -draw 'roundrectangle 4,22 36,42 10,10 roundrectangle 28,22 60,42 10,10'

icon text_color -fill "$INK" -font "$SERIF_BOLD" -pointsize 48 -gravity north -draw 'text 0,-4 "A"' \
  -gravity northwest -fill "$RED" -stroke none -draw 'rectangle 4,50 60,62'
icon back_color -fill '#FFF000' -stroke none -draw 'rectangle 2,4 62,62' \
  -fill "$INK" -font "$SANS_BOLD" -pointsize 40 -gravity center -draw 'text 0,2 "ab"'

icon superscript -fill "$INK" -font "$SANS" -pointsize 44 -draw 'text 2,58 "x"' \
  -fill "$BLUE" -font "$SANS_BOLD" -pointsize 30 -draw 'text 38,28 "2"'
icon subscript -fill "$INK" -font "$SANS" -pointsize 44 -draw 'text 2,44 "x"' \
  -fill "$BLUE" -font "$SANS_BOLD" -pointsize 30 -draw 'text 38,62 "2"'

# The editor window's own icon: a note with a folded corner and a blue pen stroke.
icon editor -fill white -stroke "$INK" -strokewidth 3 -draw 'polygon 10,4 42,4 56,18 56,60 10,60' \
  -fill '#C8CCD4' -draw 'polygon 42,4 42,18 56,18' \
  -stroke '#8090B0' -strokewidth 3 -draw "$(lines 18 48 28 36 44)" \
  -stroke "$BLUE" -strokewidth 5 -draw 'line 18,52 40,52'

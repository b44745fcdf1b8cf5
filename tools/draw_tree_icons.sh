#!/usr/bin/env bash
# Draws the 16 x 16 images of the note tree into res/icons/ (ImageMagick).
# usage: tools/draw_tree_icons.sh
set -euo pipefail
cd "$(dirname "$0")/../res/icons"

draw() {  # name, drawing primitives...
  local name=$1; shift
  convert -size 16x16 xc:none -strokewidth 1 "$@" -define png:color-type=6 "PNG32:$name.png"
}

# The file box: a drawer cabinet; selected, its top drawer pulled out.
draw filebox -fill '#b8864b' -stroke '#6b4a22' -draw 'rectangle 2,2 13,14' \
  -stroke '#6b4a22' -draw 'line 2,8 13,8' -fill '#e8d2a8' -stroke none \
  -draw 'rectangle 6,4 9,5' -draw 'rectangle 6,10 9,11'
draw filebox_selected -fill '#b8864b' -stroke '#6b4a22' -draw 'rectangle 2,4 13,14' \
  -draw 'line 2,9 13,9' -fill '#f4c76a' -draw 'rectangle 0,1 11,6' \
  -fill '#fff7d6' -stroke none -draw 'rectangle 4,3 7,4' -fill '#e8d2a8' -draw 'rectangle 6,11 9,12'

# The timetable: a calendar leaf with a red head; selected, a day marked.
draw schedule -fill white -stroke '#555555' -draw 'rectangle 1,2 14,14' \
  -fill '#d23c3c' -stroke none -draw 'rectangle 2,3 13,5' -fill '#777777' \
  -draw 'point 4,8' -draw 'point 7,8' -draw 'point 10,8' -draw 'point 4,11' -draw 'point 7,11' \
  -draw 'point 10,11'
draw schedule_selected -fill '#fffbe6' -stroke '#555555' -draw 'rectangle 1,2 14,14' \
  -fill '#d23c3c' -stroke none -draw 'rectangle 2,3 13,5' -fill '#777777' \
  -draw 'point 4,8' -draw 'point 10,8' -draw 'point 4,11' -draw 'point 7,11' -draw 'point 10,11' \
  -fill '#2f6fd6' -draw 'rectangle 6,7 8,9'

# The home page: a house; selected, its window lit.
draw home -fill '#c0392b' -stroke '#7a1f16' -draw 'polygon 1,8 8,1 15,8' \
  -fill '#f2efe6' -stroke '#666666' -draw 'rectangle 3,8 12,14' -fill '#8a5a2b' -stroke none \
  -draw 'rectangle 7,10 9,14'
draw home_selected -fill '#e25a3c' -stroke '#7a1f16' -draw 'polygon 1,8 8,1 15,8' \
  -fill '#f2efe6' -stroke '#666666' -draw 'rectangle 3,8 12,14' -fill '#8a5a2b' -stroke none \
  -draw 'rectangle 7,10 9,14' -fill '#ffd84a' -draw 'rectangle 4,9 5,10'

# A folder; selected, the folder open.
draw folder -fill '#e8b84a' -stroke '#9a7420' -draw 'polygon 1,3 6,3 7,5 14,5 14,13 1,13'
draw folder_selected -fill '#c99a35' -stroke '#9a7420' -draw 'polygon 1,3 6,3 7,5 13,5 13,7 1,7' \
  -draw 'rectangle 1,7 13,13' -fill '#f5d27a' -draw 'polygon 3,8 15,8 13,13 1,13'

# A note: a page with lines; selected, with a pen across it.
draw note -fill white -stroke '#6a6a6a' -draw 'polygon 3,1 10,1 13,4 13,14 3,14' \
  -stroke '#9db4d6' -draw 'line 5,6 11,6' -draw 'line 5,8 11,8' -draw 'line 5,10 11,10' \
  -draw 'line 5,12 9,12'
draw note_selected -fill '#eef4ff' -stroke '#6a6a6a' -draw 'polygon 3,1 10,1 13,4 13,14 3,14' \
  -stroke '#9db4d6' -draw 'line 5,6 11,6' -draw 'line 5,8 9,8' -draw 'line 5,10 8,10' \
  -stroke '#2f6fd6' -strokewidth 2 -draw 'line 8,12 14,6'
echo "res/icons: $(ls | tr '\n' ' ')"

#!/usr/bin/env bash
# Renders the review material for the production into a folder: a contact sheet
# (one 960x540 frame every 4 s, labelled with its time), full 1600x900 4x frames
# of the moments where the glow is hardest to carry, and a loudness table per
# section of the soundtrack.
# Usage: docs/production/make-material.sh OUT [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:?usage: make-material.sh OUT [build-dir]}
build=${2:-"$here/build"}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy

capture() {  # capture DIR FROM [args...]: one frame
  local dir=$1 from=$2
  shift 2
  (cd "$build/bin" && xvfb-run -a -s "-screen 0 1920x1080x24" \
    ./ostrel-capture -q --from "$from" --frames 1 -o "$dir/" "$@" >/dev/null 2>&1)
}

# Contact sheet: 0, 4, ... 156 s.
for t in $(seq 0 4 156); do
  capture "$work/sheet" "${t}s" --size 960x540
  f=$(ls "$work/sheet"/frame-*.png | tail -n 1)
  echo "$t $(convert "$f" -colorspace Gray -format '%[fx:mean*255]' info:)" >> "$work/brightness"
  convert "$f" -resize 200x112 -font DejaVu-Sans -fill white -pointsize 12 -gravity northwest \
    -annotate +4+2 "${t} s" "$work/s$(printf %03d "$t").png"
  rm "$f"
done
montage -font DejaVu-Sans "$work"/s*.png -tile 8x -geometry +2+2 -background '#202020' -quality 60 "$out/contact-sheet.jpg"

# Mean brightness (0-255) of the sheet's frames, per section of the song map.
{
  echo "| section | mean brightness of the sheet's frames |"
  echo "|---|---|"
  grep -E '^\| [a-z]+ \| [0-9]+-[0-9]+ \|' "$here/choreography/SECTIONS.md" |
    awk -F'|' '{ gsub(/ /, "", $2); print $2, $6 }' | sort -k2 -g | awk '
      NR == FNR { name[NR] = $1; start[NR] = $2; n = NR; next }
      { for (i = n; i >= 1; --i) if ($1 >= start[i]) { sum[i] += $2; count[i]++; break } }
      END { for (i = 1; i <= n; ++i) if (count[i]) printf "| %s | %.1f |\n", name[i], sum[i] / count[i] }' - "$work/brightness"
} > "$out/brightness.md"

# Glow close-ups from the 1600x900 deliverable, 4x enlarged without smoothing.
crop() {  # crop NAME TIME GEOMETRY
  capture "$work/$1" "$2" --like ostrel-1600x900-4x
  convert "$work/$1"/frame-*.png -crop "$3" +repage -filter point -resize 400% -quality 85 "$out/glow-$1.jpg"
}
crop cube-122.7s 122.7s 200x112+300+60
crop cube-54s 54s 200x112+200+140

# Loudness per section, from the song map.
"$here/docs/production/loudness.sh" > "$out/loudness.txt"

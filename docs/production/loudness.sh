#!/usr/bin/env bash
# Prints the soundtrack's loudness per section of the song map as a Markdown
# table: EBU R128 integrated loudness, true peak, and the presence (level of
# 2-6 kHz against 250 Hz-2 kHz), then the same for the whole track.
# Usage: docs/production/loudness.sh [file.mp3]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
music=${1:-"$here/res/audio/melody.mp3"}
map="$here/choreography/SECTIONS.md"
bar=$(sed -n 's/.*1 bar = [0-9]* rows = \([0-9.]*\) s.*/\1/p' "$map")

measure() {  # measure START DURATION: "integrated truepeak presence"
  local log
  # atrim rather than -ss/-t: it cuts on the decoded samples, exactly.
  local trim="atrim=start=$1:duration=$2"
  log=$(ffmpeg -nostdin -hide_banner -nostats -i "$music" -af "$trim,ebur128=peak=true" -f null - 2>&1)
  local i tp
  i=$(sed -n '/Summary:/,$ s/^ *I: *\(-\?[0-9.]*\) LUFS/\1/p' <<<"$log" | head -n 1)
  tp=$(sed -n '/Summary:/,$ s/^ *Peak: *\(-\?[0-9.inf]*\) dBFS/\1/p' <<<"$log" | head -n 1)
  band() {  # band START DURATION LOW HIGH: mean level in dB
    ffmpeg -nostdin -hide_banner -nostats -i "$music" -af "$trim,highpass=f=$3:poles=2,highpass=f=$3:poles=2,lowpass=f=$4:poles=2,lowpass=f=$4:poles=2,volumedetect" \
      -f null - 2>&1 | sed -n 's/.*mean_volume: \(-\?[0-9.]*\) dB/\1/p'
  }
  local hi lo
  hi=$(band "$1" "$2" 2000 6000)
  lo=$(band "$1" "$2" 250 2000)
  echo "$i $tp $(awk -v a="$hi" -v b="$lo" 'BEGIN { printf "%.1f", a - b }')"
}

echo "| section | bars | integrated LUFS | true peak dBFS | 2-6 kHz vs 0.25-2 kHz dB |"
echo "|---|---|---|---|---|"
grep -E '^\| [a-z]+ \| [0-9]+-[0-9]+ \|' "$map" | while IFS='|' read -r _ name bars _; do
  name=$(echo $name); bars=$(echo $bars)
  first=${bars%-*}; last=${bars#*-}
  start=$(awk -v b="$first" -v l="$bar" 'BEGIN { printf "%.6f", b * l }')
  length=$(awk -v a="$first" -v b="$last" -v l="$bar" 'BEGIN { printf "%.6f", (b - a + 1) * l }')
  read -r i tp p <<<"$(measure "$start" "$length")"
  echo "| $name | $bars | $i | $tp | $p |"
done
read -r i tp p <<<"$(measure 0 100000)"
echo "| whole | all | $i | $tp | $p |"

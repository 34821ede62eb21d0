#!/usr/bin/env bash
# Writes a short placeholder soundtrack: an arpeggio over Am F C G at 110 beats
# per minute (the production's tempo), 16th-note plucks over a sustained root,
# encoded as a 44100 Hz stereo MP3 with gapless information.
# Usage: scripts/make-placeholder-music.sh <out.mp3> [bars, default 8]
set -euo pipefail
out=${1:?usage: $0 <out.mp3> [bars]}
bars=${2:-8}
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
ensure_packages sox lame
case $bars in ''|*[!0-9]*|0) echo "make-placeholder-music: bars must be a positive number" >&2; exit 1;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One bar of 4/4 at 110 bpm lasts 240/110 s; a 16th note a sixteenth of that.
bar=$(awk 'BEGIN { printf "%.6f", 240 / 110 }')
step=$(awk -v b="$bar" 'BEGIN { printf "%.6f", b / 16 }')
chords=("A2 A3 C4 E4 A4" "F2 F3 A3 C4 F4" "C3 C4 E4 G4 C5" "G2 G3 B3 D4 G4")
pattern=(1 2 3 4 3 2 1 2 3 4 3 2 1 3 2 4)

# One bar per chord, then the chords in turn for as many bars as asked.
for ((c = 0; c < ${#chords[@]}; c++)); do
  read -r -a notes <<<"${chords[$c]}"
  steps=()
  for ((i = 0; i < 16; i++)); do
    f="$work/c${c}s${i}.wav"
    sox -q -n -r 44100 -c 1 -b 16 "$f" synth "$step" pluck "${notes[${pattern[$i]}]}" fade 0 "$step" 0.01 gain -8
    steps+=("$f")
  done
  sox -q "${steps[@]}" "$work/arp$c.wav"
  sox -q -n -r 44100 -c 1 -b 16 "$work/pad$c.wav" synth "$bar" sine "${notes[0]}" fade 0.05 "$bar" 0.2 gain -16
  sox -q -m "$work/arp$c.wav" "$work/pad$c.wav" "$work/bar$c.wav"
done
bar_files=()
for ((b = 0; b < bars; b++)); do
  bar_files+=("$work/bar$((b % ${#chords[@]})).wav")
done

# A little echo spreads the mono parts across the two channels.
sox -q "${bar_files[@]}" -c 2 "$work/mix.wav" remix 1 1v0.9 echo 0.8 0.7 90 0.25 gain -n -3
mkdir -p "$(dirname "$out")"
lame --quiet -b 160 "$work/mix.wav" "$out"
echo "make-placeholder-music: wrote $out ($bars bars)"

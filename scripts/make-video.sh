#!/usr/bin/env bash
# Renders the production into a film in chunks of whole seconds, each chunk by
# its own ostrel-capture process, and joins them without re-encoding; the
# soundtrack is added once over the whole film, so no join can click.
#
# Usage: scripts/make-video.sh [options] OUTPUT.mp4
#   --target T       1080p60: the party's fallback video (default; H.264, CRF 18)
#                    2160p60: a YouTube master (H.264 High, closed GOPs of half a
#                    second, 68 Mb/s constant, AAC-LC 48 kHz stereo, yuv420p)
#   --jobs N         render N chunks at once (default 1)
#   --chunk S        seconds per chunk (default 10)
#   --from S         start at second S (default 0)
#   --to S           end before second S (default: the end of the music)
#   --crf N          quality of 1080p60 chunks, 0 (lossless) to 51 (default 18)
#   --size WxH       another frame size (default: the target's)
#   --build-dir DIR  build tree with ostrel-capture and res/ (default: build)
#   --print-chunks   print one shell command per missing chunk, render nothing
#
# Finished chunks stay in OUTPUT.chunks/<settings>/, so a re-run renders only
# what is missing and then joins; a chunk counts as finished once its capture
# succeeded (it is renamed into place only then). To spread the chunks over
# machines that share the build tree, run the printed commands anywhere (for
# instance with GNU parallel), then this script again to join.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

target=1080p60
jobs=1
chunk=10
from=0
to=""
crf=18
size=""
build="$here/build"
print=0
output=""
usage() { sed -n '6,18p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
whole() { case "$2" in ''|*[!0-9]*) echo "make-video: $1 takes a whole number, not '$2'" >&2; exit 2 ;; esac; }
while [ $# -gt 0 ]; do
  case "$1" in
    --target) target=$2; shift 2 ;;
    --jobs) whole "$1" "$2"; jobs=$2; shift 2 ;;
    --chunk) whole "$1" "$2"; chunk=$2; shift 2 ;;
    --from) whole "$1" "$2"; from=$2; shift 2 ;;
    --to) whole "$1" "$2"; to=$2; shift 2 ;;
    --crf) whole "$1" "$2"; crf=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --build-dir) build=$(cd "$2" && pwd); shift 2 ;;
    --print-chunks) print=1; shift ;;
    -h|--help) usage ;;
    -*) echo "make-video: unknown option '$1'" >&2; exit 2 ;;
    *) [ -z "$output" ] || usage; output=$1; shift ;;
  esac
done
[ -n "$output" ] || usage
[ "$jobs" -ge 1 ] && [ "$chunk" -ge 1 ] && [ "$crf" -le 51 ] || { echo "make-video: --jobs and --chunk are 1 or more, --crf 0 to 51" >&2; exit 2; }
case "$target" in
  1080p60) like=ostrel-1920x1080-4x; size=${size:-1920x1080} ;;
  2160p60) like=ostrel-1920x1080-4x; size=${size:-3840x2160} ;;
  *) echo "make-video: --target is 1080p60 or 2160p60, not '$target'" >&2; exit 2 ;;
esac
case "$size" in [0-9]*x[0-9]*) ;; *) echo "make-video: --size is WIDTHxHEIGHT, not '$size'" >&2; exit 2 ;; esac
fps=60
capture="$build/bin/ostrel-capture"
music="$build/res/audio/melody.mp3"
[ -x "$capture" ] && [ -f "$music" ] || { echo "make-video: no $capture or $music (build ostrel-capture and ostrel_res)" >&2; exit 1; }

# The film's length in frames: up to --to, else to the end of the music
# (frame n shows n / 60 s, while that is before the end).
if [ -z "$to" ]; then
  seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$music")
  end_frame=$(awk -v s="$seconds" -v f="$fps" 'BEGIN { n = s * f; print (n == int(n)) ? n : int(n) + 1 }')
else
  end_frame=$((to * fps))
fi
first_frame=$((from * fps))
[ "$end_frame" -gt "$first_frame" ] || { echo "make-video: nothing between second $from and the end" >&2; exit 2; }
frames=$((end_frame - first_frame))
step=$((chunk * fps))
count=$(((frames + step - 1) / step))

output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
# Chunks of other settings never mix: each set has its own folder.
dir="$output.chunks/$target-$size-crf$crf-from$from-chunk$chunk"
mkdir -p "$dir"

name_of() { printf '%s/chunk-%05d.mp4' "$dir" "$1"; }
q() { printf '%q' "$1"; }

# One self-contained shell command that renders chunk i into place.
chunk_command() {
  local i=$1 start=$((first_frame + $1 * step)) n=$step
  [ $((start + n)) -le "$end_frame" ] || n=$((end_frame - start))
  local final part
  final=$(name_of "$i")
  part=${final%.mp4}.part.mp4
  local display=""
  [ -n "${DISPLAY:-}" ] || display="xvfb-run -a -s $(q "-screen 0 1920x1080x24") "
  local render="cd $(q "$build/bin") && SDL_AUDIODRIVER=dummy ${display}./ostrel-capture -q --like $like --size $size"
  render+=" --fps $fps --from ${start}f --frames $n"
  if [ "$target" = 2160p60 ]; then
    # Captured losslessly, then encoded as the master asks: constant 68 Mb/s
    # (at YouTube's recommendation for 2160p60), High profile, a closed GOP
    # every half second.
    local lossless=${final%.mp4}.lossless.mp4
    echo "$render --crf 0 -o $(q "$lossless") && ffmpeg -nostdin -loglevel error -y -i $(q "$lossless") -map 0:v" \
      "-c:v libx264 -profile:v high -pix_fmt yuv420p -preset slow -b:v 68M -minrate 68M -maxrate 68M -bufsize 68M" \
      "-x264-params nal-hrd=cbr -g 30 -flags +cgop $(q "$part") && rm -f $(q "$lossless") && mv $(q "$part") $(q "$final")"
  else
    echo "$render --crf $crf -o $(q "$part") && mv $(q "$part") $(q "$final")"
  fi
}

missing=()
for ((i = 0; i < count; i++)); do
  [ -f "$(name_of "$i")" ] || missing+=("$i")
done

if [ "$print" -eq 1 ]; then
  for i in "${missing[@]}"; do chunk_command "$i"; done
  exit 0
fi

# ---- Render what is missing, N at once --------------------------------------
# Every command and count is made before the signal trap goes in, and the loop
# below runs no command substitution: bash 5.2 can fail to parse a trap that
# lands while it reads one ("unexpected EOF while looking for matching `)'").
frames_of() { local s=$((first_frame + $1 * step)); [ $((s + step)) -le "$end_frame" ] && echo "$step" || echo $((end_frame - s)); }
declare -A command_of=() frames_in=()
remaining=0
for i in "${missing[@]}"; do
  command_of[$i]=$(chunk_command "$i")
  frames_in[$i]=$(frames_of "$i")
  remaining=$((remaining + frames_in[$i]))
done

running=()
stop() {
  trap '' INT TERM HUP
  # The chunk started last may not be in running yet when the signal lands.
  local groups=("${running[@]}" ${!:-})
  [ ${#groups[@]} -eq 0 ] || kill -TERM -- "${groups[@]/#/-}" 2>/dev/null || true
  wait
  exit 130
}
trap stop INT TERM HUP

start=$SECONDS
rendered=0
done_count=$((count - ${#missing[@]}))
progress() {
  local elapsed=$((SECONDS - start)) rate="-" left="-" tenths t
  if [ "$elapsed" -gt 0 ] && [ "$rendered" -gt 0 ]; then
    tenths=$((rendered * 10 / elapsed))
    rate="$((tenths / 10)).$((tenths % 10))"
    t=$(($1 * elapsed / rendered))
    printf -v left '%dm%02ds' $((t / 60)) $((t % 60))
  fi
  echo "make-video: $done_count/$count chunks done, $rate frames/s, $left left" >&2
}

[ ${#missing[@]} -eq 0 ] || echo "make-video: rendering ${#missing[@]} of $count chunks into $dir" >&2
failed=0
pending=("${missing[@]}")
declare -A chunk_of=()
while [ ${#pending[@]} -gt 0 ] || [ ${#running[@]} -gt 0 ]; do
  while [ ${#pending[@]} -gt 0 ] && [ ${#running[@]} -lt "$jobs" ] && [ "$failed" -eq 0 ]; do
    i=${pending[0]}
    pending=("${pending[@]:1}")
    # Each chunk in a process group of its own, so that stopping this script
    # stops its capture and the capture's ffmpeg too.
    setsid bash -c "${command_of[$i]}" >"$dir/chunk-$i.log" 2>&1 &
    running+=("$!")
    chunk_of[$!]=$i
  done
  [ "$failed" -eq 0 ] || pending=()
  [ ${#running[@]} -gt 0 ] || break
  status=0
  wait -n -p ended "${running[@]}" || status=$?
  left=()
  for pid in "${running[@]}"; do [ "$pid" = "$ended" ] || left+=("$pid"); done
  running=("${left[@]}")
  i=${chunk_of[$ended]}
  if [ "$status" -ne 0 ]; then
    grep -v '^\(INFO\|DEBUG\): ' "$dir/chunk-$i.log" | tail -n 20 >&2
    echo "make-video: chunk $i failed (status $status; its log: $dir/chunk-$i.log)" >&2
    failed=1
    continue
  fi
  rm -f "$dir/chunk-$i.log"
  n=${frames_in[$i]}
  rendered=$((rendered + n))
  remaining=$((remaining - n))
  done_count=$((done_count + 1))
  progress "$remaining"
done
[ "$failed" -eq 0 ] || { echo "make-video: finished chunks are kept; run again to render the rest" >&2; exit 1; }

# ---- Join -------------------------------------------------------------------
# The chunks' video as it is, then the soundtrack over the film's exact span:
# 800 samples (48 kHz) per frame, cut or padded with silence to that count.
list="$dir/chunks.txt"
for ((i = 0; i < count; i++)); do printf "file '%s'\n" "$(name_of "$i")"; done >"$list"
samples=$((frames * 48000 / fps))
part="${output%.*}.part.${output##*.}"
ffmpeg -nostdin -loglevel error -y -f concat -safe 0 -i "$list" \
  -ss "$from" -i "$music" -map 0:v:0 -map 1:a:0 -c:v copy \
  -af "aresample=48000,apad,atrim=end_sample=$samples" -c:a aac -profile:a aac_low -b:a 320k -ar 48000 -ac 2 \
  -movflags +faststart "$part"
if [ "$target" = 2160p60 ]; then
  # YouTube recommends 53 to 68 Mb/s for 2160p60.
  rate=$(ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 "$part")
  if [ "${rate:-0}" -lt 53000000 ]; then
    echo "make-video: the master's video has $rate b/s, under the 53 Mb/s YouTube recommends" >&2
    exit 1
  fi
fi
mv "$part" "$output"
echo "make-video: $output: $frames frames at $fps fps from $count chunks" >&2
echo "$output"

#!/usr/bin/env bash
# Builds the project in Release (in build-bench) and runs every benchmark:
#   sync_queries   the track queries of one frame through the sync device
#   scene_render   Scene::Render's CPU cost, with GALLIUM_NOOP=1 so that the
#                  driver draws nothing
#   postprocess    the post chain under llvmpipe at 1600x900 4x, bloom on and
#                  off, against a plain copy
#   startup        start-up to the first frame, in-process and from exec
#   capture        ostrel-capture's frames per second at 1920x1080 4x
#   track_reload   the choreography recompiled from text and swapped into a
#                  sync device, beside a reload of the compiled files
#   studio_overlay the studio's overlay over a production frame (llvmpipe:
#                  Mesa's no-op driver crashes in the overlay's draw path)
# and any other bench/*.cpp after them.
# Usage: scripts/bench.sh [benchmark-name...]   (default: all)
# OSTREL_BENCH_BUILD_DIR picks another build directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
build=${OSTREL_BENCH_BUILD_DIR:-"$here/build-bench"}

# Without a display, run this whole script again on a virtual one.
if [ -z "${DISPLAY:-}" ]; then
  with_display "$0" "$@"
  exit
fi
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

order=(sync_queries scene_render postprocess startup capture track_reload studio_overlay)
all=()
for name in "${order[@]}"; do [ -f "$here/bench/$name.cpp" ] && all+=("$name"); done
for src in "$here"/bench/*.cpp; do
  name=$(basename "$src" .cpp)
  case " ${order[*]} " in *" $name "*) ;; *) all+=("$name") ;; esac
done
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${all[@]}")

targets=(ostrel_res ostrel-1600x900-4x ostrel-capture)
for name in "${chosen[@]}"; do
  [ -f "$here/bench/$name.cpp" ] || { echo "bench: no benchmark named $name (have: ${all[*]})" >&2; exit 2; }
  targets+=("bench_$name")
done

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_BENCHMARKS=ON \
  -DOSTREL_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(uname -sr)"

status=0
for name in "${chosen[@]}"; do
  echo
  echo "== $name"
  env_prefix=()
  [ "$name" = scene_render ] && env_prefix=(env GALLIUM_NOOP=1)
  # The engine's log goes to stderr; the figures go to stdout.
  if ! "${env_prefix[@]}" "$build/bench/bench_$name" --benchmark_counters_tabular=true 2>"$build/bench/$name.log"; then
    echo "bench_$name failed; its log is $build/bench/$name.log" >&2
    status=1
  fi
done
# Benchmarks without GL log no renderer; that is no failure.
renderer=$(grep -h -m1 'OpenGL Renderer:' "$build"/bench/*.log 2>/dev/null | head -1 | sed 's/.*OpenGL Renderer: //' || true)
[ -n "$renderer" ] && { echo; echo "driver: $renderer"; }
exit $status

#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# Times ImageMagick's single-threaded cubic resize of the rotated 4x6 page
# (3688x1240 -> 1844x2480) and the library's page-sized benchmarks in the
# same run, and prints the resize ratio. ImageMagick's own time is the convert with -resize
# minus the same convert without it (reading and writing the files). Times
# are CPU times (see median_ms).
#
# usage: bench/imagemagick-compare.sh <build dir> [runs]
set -euo pipefail

build=${1:?usage: $0 <build dir> [runs]}
runs=${2:-7}
bench="$build/bench/imglib_bench"
[ -x "$bench" ] || { echo "no $bench: build the imglib_bench target first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/qv46-imbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export MAGICK_THREAD_LIMIT=1

# A photo-like page: smooth colour fields with fine grain.
convert -size 3688x1240 gradient:'#d04020-#2060c0' -attenuate 0.3 +noise Uniform \
  -depth 8 "$work/page.ppm"

# Median CPU milliseconds (user + system) of a command over $runs runs. CPU
# time rather than wall time, so that other work on a shared machine does not
# skew the ratio; both sides run single-threaded.
median_ms() {
  local times=() cpu
  local TIMEFORMAT='%3U %3S'
  for ((i = 0; i < runs; i++)); do
    cpu=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    times+=("$(awk '{printf "%d", ($1 + $2) * 1000}' <<<"$cpu")")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {printf "%.1f", a[int((NR + 1) / 2)]}'
}

with_resize=$(median_ms convert "$work/page.ppm" -filter Catrom -resize '1844x2480!' "$work/out.ppm")
copy_only=$(median_ms convert "$work/page.ppm" "$work/out.ppm")
magick=$(awk -v a="$with_resize" -v b="$copy_only" 'BEGIN {printf "%.1f", a - b}')

# The library: every page-sized benchmark, median CPU and real times; the
# resize line is the one compared.
results=$("$bench" --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null | awk -F, '/_median"?,/ {gsub(/"/, "", $1); print $1, $4, $3}')
echo "Library medians (CPU ms, real ms):"
awk '{printf "  %-60s %8.1f %8.1f\n", $1, $2, $3}' <<<"$results"
ours=$(awk '/BM_SizeBitmap_3688x1240_to_1844x2480/ {print $2}' <<<"$results")

echo "ImageMagick convert with -resize: $with_resize ms, without: $copy_only ms, resize: $magick ms (CPU)"
printf "IL_SizeBitmap: %.1f ms (CPU)\n" "$ours"
awk -v o="$ours" -v m="$magick" 'BEGIN {
  if (m <= 0) { print "ImageMagick resize time not measurable"; exit 1 }
  printf "ratio IL_SizeBitmap / ImageMagick resize: %.3f (target <= 0.25)\n", o / m }'

#!/usr/bin/env bash
# The batch figures of scripts/bench: eight 10-second 720p clips converted
# with preset 100 by vexa-cli with as many jobs at once as the machine has
# cores, against the ffmpeg program converting the same eight one after
# another with its default threads and the preset's settings (the median of
# the rounds' ratios); and the median time to make one job of a local clip.
#   bench/batch.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$1
rounds=${2:-3}
cmake --build "$build" -j 2 --target vexa_bench_batch vexa-cli >/dev/null
work="$build/bench-work/batch"
mkdir -p "$work"
"$build/bin/vexa_bench_batch" make "$work/media"
clips=("$work"/media/clip*.mp4)
jobs=$(nproc)
((jobs > 19)) && jobs=19  # the most the job count picker offers

ours() {
  rm -rf "$work/ours" && mkdir -p "$work/ours"
  "$build/bin/vexa-cli" convert --preset 100 --threads "$jobs" --overwrite --log-level quiet \
    --output "$work/ours" "${clips[@]}" >/dev/null
}
peer() {
  rm -rf "$work/peer" && mkdir -p "$work/peer"
  for f in "${clips[@]}"; do
    ffmpeg -nostdin -hide_banner -loglevel error -y -i "$f" -c:v mpeg4 -vtag XVID -b:v 816k -r 25 \
      -c:a libmp3lame -b:a 128k -ar 44100 -ac 2 "$work/peer/$(basename "$f" .mp4).avi"
  done
}
seconds() { local s e; s=$(date +%s.%N); "$@"; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN { print e - s }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ot=(); pt=(); rt=()
for ((i = 0; i < rounds; i++)); do
  o=$(seconds ours)
  p=$(seconds peer)
  ot+=("$o"); pt+=("$p")
  rt+=("$(awk -v a="$o" -v b="$p" 'BEGIN { print a / b }')")
done
o=$(printf '%s\n' "${ot[@]}" | median)
p=$(printf '%s\n' "${pt[@]}" | median)
r=$(printf '%s\n' "${rt[@]}" | median)
awk -v r="$r" 'BEGIN { printf "batch wall ratio vs ffmpeg: %.2f\n", r }'
add=$("$build/bin/vexa_bench_batch" addfile "$work/add" 200 "${clips[0]}")
echo "add-file median ms: $add"
echo "(medians of $rounds rounds: vexa-cli with $jobs jobs at once ${o}s, ffmpeg one after another ${p}s)" >&2

#!/usr/bin/env bash
# Recording speed, measured side by side in one run:
# - the record encoder (xvidcore with the recording's parameters, UYVY in, with the stamp and the
#   hand-over to a consumer) against `ffmpeg -c:v libxvid` encoding the same raw UYVY clip at the
#   same bit rate, quantizer range, key interval and motion-search settings, both on one core and
#   one thread, CPU time (ffmpeg's includes its start, reading the clip, its conversion to 4:2:0
#   and the AVI muxer; its rate control keeps libxvid's defaults, which it cannot set);
# - the AVI record writer's sustained rate; one 720x576 JPEG snapshot.
# Prints the numbers and the ratios. Usage: bash scripts/bench-recording.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target recording_bench >/dev/null

work=$(mktemp -d /tmp/vidora-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
core=0
pin=(taskset -c "$core")
command -v taskset >/dev/null || pin=()

# The same pictures for both encoders: a moving test scene, 8 s at 25 pictures per second.
for size in 720x576 352x288; do
    ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25:duration=8" \
        -pix_fmt uyvy422 -f rawvideo "$work/clip-$size.uyvy"
done
frames=200

# ffmpeg: CPU seconds (user + system) for the whole clip, from its own -benchmark report.
ffmpeg_cpu() {  # size, extra options...
    local size=$1
    shift
    "${pin[@]}" ffmpeg -nostdin -benchmark -threads 1 -f rawvideo -pix_fmt uyvy422 -s "$size" \
        -r 25 -i "$work/clip-$size.uyvy" -c:v libxvid -threads 1 -b:v 512k -qmin 2 -qmax 11 \
        -g 5 -bf 0 "$@" -f avi -y "$work/ffmpeg-$size.avi" 2>&1 |
        awk -F'[= s]+' '/bench: utime/ {
            for (i = 1; i <= NF; i++) { if ($i == "utime") u = $(i+1); if ($i == "stime") s = $(i+1) }
            print u + s }'
}
# The recording's motion search and VOP flags: ffmpeg's me_quality 6 with four motion vectors.
matched=(-me_quality 6 -flags +mv4)

# One run per group: the CSV report needs the same counters in every row.
bench() {  # filter, options...
    local filter=$1
    shift
    VIDORA_BENCH_UYVY_720="$work/clip-720x576.uyvy" VIDORA_BENCH_UYVY_352="$work/clip-352x288.uyvy" \
        VIDORA_BENCH_DIR="$work" "${pin[@]}" "$build/bench/recording/recording_bench" \
        --benchmark_filter="$filter" --benchmark_format=csv "$@" 2>/dev/null
}
writer_csv=$(bench BM_AviWriter)
snapshot_csv=$(bench Snapshot)
# One column of one benchmark row (times in ms).
field() {  # csv, name-pattern, column-name
    local csv=$1
    shift
    echo "$csv" | awk -F, -v pat="$1" -v col="$2" '
        NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); h[$i] = i }; next }
        $1 ~ pat { print $(h[col]); exit }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "Record encoder (one core, CPU time), $frames-picture clip, 512 kbit/s, q 2-11, key interval 5,"
echo "three rounds of vidora then ffmpeg, medians:"
for size in 720x576 352x288; do
    w=${size%x*}
    h=${size#*x}
    rounds=""
    for round in 1 2 3; do
        # Several passes over the clip (a fresh recording for each pass).
        csv=$(bench "BM_RecordEncoder/$w/$h" --benchmark_min_time=3)
        ours=$(field "$csv" "BM_RecordEncoder/$w/$h/" cpu_time)
        ff=$(ffmpeg_cpu "$size" "${matched[@]}")
        ffd=$(ffmpeg_cpu "$size")
        rounds+="$ours $ff $ffd"$'\n'
    done
    o=$(echo -n "$rounds" | awk '{ print $1 }' | median)
    f=$(echo -n "$rounds" | awk -v n="$frames" '{ print $2 * 1000 / n }' | median)
    d=$(echo -n "$rounds" | awk -v n="$frames" '{ print $3 * 1000 / n }' | median)
    r=$(echo -n "$rounds" | awk -v n="$frames" '{ print $1 / ($2 * 1000 / n) }' | median)
    rd=$(echo -n "$rounds" | awk -v n="$frames" '{ print $1 / ($3 * 1000 / n) }' | median)
    awk -v s="$size" -v o="$o" -v f="$f" -v d="$d" -v r="$r" -v rd="$rd" 'BEGIN {
        printf "  %s: vidora %.2f ms/picture = %.0f pictures/s = %.1fx real time at 25/s\n", s, o, 1000 / o, 1000 / o / 25
        printf "           ffmpeg libxvid, same motion flags: %.2f ms/picture; time ratio vidora/ffmpeg %.2f\n", f, r
        printf "           ffmpeg libxvid, its defaults (me_quality 4): %.2f ms/picture; ratio %.2f\n", d, rd
    }'
done

echo "AVI record writer (queue held at 64 packets or fewer), to $work:"
for kb in 16384 65536 262144; do
    name="BM_AviWriter/$kb/"
    bps=$(field "$writer_csv" "$name" bytes_per_second)
    pps=$(field "$writer_csv" "$name" packets_per_s)
    maxq=$(field "$writer_csv" "$name" max_queued)
    awk -v k="$kb" -v b="$bps" -v p="$pps" -v q="$maxq" 'BEGIN {
        printf "  %3d KiB packets: %.0f MB/s, %.0f packets/s, largest queue %d\n", k / 1024, b / 1e6, p, q }'
done

# Wall time includes the file system's work: the benchmark rewrites one file, which some file
# systems (ext4) flush at every close, so it is an upper bound for new files.
echo "Snapshots, 720x576, one file written (wall time; CPU time):"
for kind in Jpeg Bmp; do
    ms=$(field "$snapshot_csv" "BM_${kind}Snapshot720x576" real_time)
    cpu=$(field "$snapshot_csv" "BM_${kind}Snapshot720x576" cpu_time)
    awk -v k="$kind" -v m="$ms" -v c="$cpu" 'BEGIN { printf "  %s: %.2f ms; %.2f ms\n", k, m, c }'
done

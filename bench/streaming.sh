#!/usr/bin/env bash
# Measures what delivery over time costs: --timeline and --html against
# --check on the ~100 MB ffmpeg-made file and the generated 5 GiB file (each
# file's three commands in one hyperfine run, so that the machine's load
# weighs on them alike), the size of the HTML report of each, and peak RSS.
# Prints the table and writes it into bench/RESULTS.md.
#
# Environment: BENCH_BUILD_DIR (default build/bench-run), BENCH_RUNS (timed
# runs on the 100 MB file, default 10), BENCH_BIG_RUNS (on 5 GiB, default 5),
# BENCH_REGENERATE=1 to rebuild the cached inputs in bench/data/.
set -euo pipefail

source "$(dirname "$0")/lib.sh"

big_runs=${BENCH_BIG_RUNS:-5}

ffmpeg_input=$data/ffmpeg-720p-40s.wmv
gen_5g=$data/gen-5g-3200.asf

peak_rss_kib() {
    { /usr/bin/time -v "$asfinspect" "$@" >/dev/null || true; } 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

time_views() { # name file runs
    local name=$1 file=$2 n=$3
    say "timing $name"
    hyperfine --style basic --warmup 1 --runs "$n" --export-csv "$data/streaming-$name.csv" \
        -n check "'$asfinspect' --check '$file' > /dev/null; test \$? -le 3" \
        -n timeline "'$asfinspect' --timeline '$file' > /dev/null" \
        -n html "'$asfinspect' --html '$file' > /dev/null" >&2
}

main() {
    for tool in cmake hyperfine ffmpeg awk /usr/bin/time; do
        command -v "$tool" >/dev/null || die "$tool is missing"
    done
    mkdir -p "$data"
    build_binaries
    make_ffmpeg_input
    make_generated_input "$gen_5g" 5G

    local load_before load_after
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    time_views ffmpeg "$ffmpeg_input" "$runs"
    time_views gen-5g "$gen_5g" "$big_runs"
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)

    local rows="" verdicts=""
    for entry in "ffmpeg 100 MB|ffmpeg|$ffmpeg_input" "generated 5 GiB|gen-5g|$gen_5g"; do
        IFS='|' read -r label name file <<<"$entry"
        local c=$data/streaming-$name.csv t_check t_timeline t_html html_bytes
        t_check=$(mean_of "$c" check)
        t_timeline=$(mean_of "$c" timeline)
        t_html=$(mean_of "$c" html)
        html_bytes=$("$asfinspect" --html "$file" | wc -c)
        rows+=$(printf '| %s | %.3f s | %.3f s (%sx) | %.3f s (%sx) | %s bytes | %s / %s / %s KiB |' \
            "$label" "$t_check" "$t_timeline" "$(ratio "$t_timeline" "$t_check")" "$t_html" \
            "$(ratio "$t_html" "$t_check")" "$html_bytes" "$(peak_rss_kib --check "$file")" \
            "$(peak_rss_kib --timeline "$file")" "$(peak_rss_kib --html "$file")")
        rows+=$'\n'
        verdicts+=$(awk -v l="$label" -v t="$(ratio "$t_timeline" "$t_check")" \
            -v h="$(ratio "$t_html" "$t_check")" -v b="$html_bytes" \
            'BEGIN { printf "%s: --timeline within 1.2x of --check: %s; --html within 1.5x: %s; report under 2 MB: %s. ", \
                l, (t <= 1.2 ? "met" : "NOT met"), (h <= 1.5 ? "met" : "NOT met"), (b < 2000000 ? "met" : "NOT met") }')
    done

    local table
    table=$(
        cat <<EOT
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) CPUs, Linux $(uname -r); load average $load_before before the timed runs, $load_after after.
Each file's three commands ran in one hyperfine invocation (\`hyperfine --warmup 1 --runs N\`, N = $runs on 100 MB and $big_runs on 5 GiB), to /dev/null; times are means of wall-clock time, ratios to \`--check\`:

| Input | \`--check\` | \`--timeline\` | \`--html\` | Report size | Peak RSS --check / --timeline / --html |
|---|---|---|---|---|---|
${rows}
Targets: ${verdicts}
EOT
    )
    printf '%s\n' "$table"
    write_results streaming.sh "$table"
}

main "$@"

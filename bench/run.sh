#!/usr/bin/env bash
# Measures asfinspect's full dump: against ffprobe -show_packets and against
# the floor of reading the input and the dump once (cat), then throughput and
# peak memory on a ~100 MB ffmpeg-made file and on generated 1 GiB and 5 GiB
# files; then the complete decode (--tree, --json, --check) of the same files
# against the dump, a header-only decode against ffprobe and MediaInfo, and
# the direct reach of --packets into the 5 GiB file. Prints the tables and
# writes them into bench/RESULTS.md.
#
# Environment: BENCH_BUILD_DIR (default build/bench-run), BENCH_RUNS (timed
# runs per command on the small inputs, default 10), BENCH_REGENERATE=1 to
# rebuild the cached inputs in bench/data/.
set -euo pipefail

source "$(dirname "$0")/lib.sh"

big_runs=3

ffmpeg_input=$data/ffmpeg-720p-40s.wmv
gen_1g=$data/gen-1g-3200.asf
gen_5g=$data/gen-5g-3200.asf
# Lines the dump prints only for malformed files; the generated ones have none.
warnings='UNKNOWN LFLAGS|Unknown segsize|overruns|Truncated|Unexpected end|Illegal length|YS packet|\( Unknown \)'


require_tools() {
    for tool in cmake hyperfine ffmpeg ffprobe awk; do
        command -v "$tool" >/dev/null || die "$tool is missing (Debian: apt-get install -y $tool)"
    done
    if [[ ! -x /usr/bin/time ]]; then
        if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
            apt-get install -y time >/dev/null || die "cannot install GNU time"
        else
            die "/usr/bin/time is missing (apt-get install -y time)"
        fi
    fi
}


# Saves the dump next to the input (the cat floor reads it) and checks that a
# generated file dumps without any warning line.
save_dump() { # file expect_clean
    local file=$1 clean=$2 dump=$1.dump
    if [[ ! -s $dump || $dump -ot $file || $dump -ot $asfinspect ]]; then
        say "dumping $file"
        "$asfinspect" "$file" >"$dump"
    fi
    if [[ $clean == yes ]]; then
        local found
        found=$(grep -cE "$warnings" "$dump" || true)
        [[ $found -eq 0 ]] || die "$file: $found warning lines in its dump"
    fi
}


# Peak RSS in KiB of a run to /dev/null: peak_rss_kib [OPTION]... FILE.
peak_rss_kib() {
    # --check exits 3 on a file with errors; the measure still stands.
    { /usr/bin/time -v "$asfinspect" "$@" >/dev/null || true; } 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

file_bytes() { stat -c %s "$1"; }

# Runs hyperfine on one input; leaves the CSV in $data/NAME.csv.
time_input() { # name file runs with_ffprobe
    local name=$1 file=$2 n=$3 with_ffprobe=$4 csv=$data/$1.csv
    local -a commands=(
        -n dump-null "'$asfinspect' '$file' > /dev/null"
        -n dump-file "'$asfinspect' '$file' > '$data/$name.out'"
        -n cat-floor "cat '$file' '$file.dump' > /dev/null"
        -n tree-null "'$asfinspect' --tree '$file' > /dev/null"
        -n json-null "'$asfinspect' --json '$file' > /dev/null"
        -n check-null "'$asfinspect' --check '$file' > /dev/null; test \$? -le 3"
    )
    if [[ $with_ffprobe == yes ]]; then
        commands+=(-n ffprobe "ffprobe -v error -show_packets '$file' > /dev/null")
    fi
    say "timing $name"
    hyperfine --style basic --warmup 1 --runs "$n" --export-csv "$csv" "${commands[@]}" >&2
    rm -f "$data/$name.out"
}

per_second() { awk -v n="$1" -v s="$2" -v unit="$3" 'BEGIN { printf "%.0f", n / unit / s }'; }

main() {
    require_tools
    mkdir -p "$data"
    build_binaries
    make_ffmpeg_input
    make_generated_input "$gen_1g" 1G
    make_generated_input "$gen_5g" 5G
    save_dump "$ffmpeg_input" no
    save_dump "$gen_1g" yes
    save_dump "$gen_5g" yes

    local load_before
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    time_input ffmpeg "$ffmpeg_input" "$runs" yes
    time_input gen-1g "$gen_1g" "$runs" no
    time_input gen-5g "$gen_5g" "$big_runs" no
    local load_after
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)

    local csv=$data/ffmpeg.csv
    local t_null t_file t_probe t_cat
    t_null=$(mean_of "$csv" dump-null)
    t_file=$(mean_of "$csv" dump-file)
    t_probe=$(mean_of "$csv" ffprobe)
    t_cat=$(mean_of "$csv" cat-floor)

    local table rows="" rss_small="" rss_big="" worst_cat=0
    for entry in "ffmpeg 100 MB|ffmpeg|$ffmpeg_input" "generated 1 GiB|gen-1g|$gen_1g" \
        "generated 5 GiB|gen-5g|$gen_5g"; do
        IFS='|' read -r label name file <<<"$entry"
        local t cat_t in_bytes out_bytes packets rss
        t=$(mean_of "$data/$name.csv" dump-null)
        cat_t=$(mean_of "$data/$name.csv" cat-floor)
        in_bytes=$(file_bytes "$file")
        out_bytes=$(file_bytes "$file.dump")
        packets=$(grep -c '^ Dumping packet at offset ' "$file.dump")
        rss=$(peak_rss_kib "$file")
        [[ $name == ffmpeg ]] && rss_small=$rss
        [[ $name == gen-5g ]] && rss_big=$rss
        worst_cat=$(awk -v a="$worst_cat" -v b="$(ratio "$t" "$cat_t")" 'BEGIN { print (b > a ? b : a) }')
        rows+=$(printf '| %s | %.1f MB | %.1f MB | %s | %.3f s | %s | %s | %s | %s | %s KiB |' \
            "$label" "$(awk -v b="$in_bytes" 'BEGIN { print b / 1e6 }')" \
            "$(awk -v b="$out_bytes" 'BEGIN { print b / 1e6 }')" "$packets" "$t" \
            "$(ratio "$t" "$cat_t")" "$(per_second "$in_bytes" "$t" 1e6)" \
            "$(per_second "$out_bytes" "$t" 1e6)" "$(per_second "$packets" "$t" 1)" "$rss")
        rows+=$'\n'
    done

    # The complete decode against the dump of the same file.
    local decode_rows="" worst_view=0 worst_check=0 worst_view_rss=0 worst_check_rss=0
    for entry in "ffmpeg 100 MB|ffmpeg|$ffmpeg_input" "generated 1 GiB|gen-1g|$gen_1g" \
        "generated 5 GiB|gen-5g|$gen_5g"; do
        IFS='|' read -r label name file <<<"$entry"
        local c=$data/$name.csv t_dump t_tree t_json t_check r_tree r_json r_check
        t_dump=$(mean_of "$c" dump-null)
        t_tree=$(mean_of "$c" tree-null)
        t_json=$(mean_of "$c" json-null)
        t_check=$(mean_of "$c" check-null)
        r_tree=$(peak_rss_kib --tree "$file")
        r_json=$(peak_rss_kib --json "$file")
        r_check=$(peak_rss_kib --check "$file")
        if [[ $name == ffmpeg ]]; then
            worst_view=$(awk -v a="$(ratio "$t_tree" "$t_dump")" -v b="$(ratio "$t_json" "$t_dump")" \
                'BEGIN { print (a > b ? a : b) }')
            worst_check=$(ratio "$t_check" "$t_dump")
        fi
        worst_view_rss=$(awk -v a="$worst_view_rss" -v b="$r_tree" -v c="$r_json" \
            'BEGIN { m = a; if (b > m) m = b; if (c > m) m = c; print m }')
        worst_check_rss=$(awk -v a="$worst_check_rss" -v b="$r_check" 'BEGIN { print (b > a ? b : a) }')
        decode_rows+=$(printf '| %s | %.3f s | %.3f s (%sx) | %.3f s (%sx) | %.3f s (%sx) | %s / %s / %s KiB |' \
            "$label" "$t_dump" "$t_tree" "$(ratio "$t_tree" "$t_dump")" "$t_json" \
            "$(ratio "$t_json" "$t_dump")" "$t_check" "$(ratio "$t_check" "$t_dump")" \
            "$r_tree" "$r_json" "$r_check")
        decode_rows+=$'\n'
    done
    local verdict_view verdict_check verdict_view_rss verdict_check_rss
    verdict_view=$(awk -v r="$worst_view" 'BEGIN { print (r <= 2 ? "met" : "NOT met") }')
    verdict_check=$(awk -v r="$worst_check" 'BEGIN { print (r <= 1.5 ? "met" : "NOT met") }')
    verdict_view_rss=$(awk -v r="$worst_view_rss" 'BEGIN { print (r < 8192 ? "met" : "NOT met") }')
    verdict_check_rss=$(awk -v r="$worst_check_rss" 'BEGIN { print (r < 16384 ? "met" : "NOT met") }')

    # Header-only decodes, and ten packets reached in the middle of 5 GiB.
    say "timing header-only decodes and packet selection"
    local -a header_commands=(
        -n json-header "'$asfinspect' --json --packets=none '$ffmpeg_input' > /dev/null"
        -n ffprobe-streams "ffprobe -v error -show_format -show_streams '$ffmpeg_input' > /dev/null"
    )
    if command -v mediainfo >/dev/null; then
        header_commands+=(-n mediainfo "mediainfo --Full '$ffmpeg_input' > /dev/null")
    fi
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/header.csv" \
        "${header_commands[@]}" >&2
    local spec=1000000-1000009
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/select.csv" \
        -n select-dump "'$asfinspect' --packets=$spec '$gen_5g' > /dev/null" \
        -n select-tree "'$asfinspect' --tree --packets=$spec '$gen_5g' > /dev/null" \
        -n select-json "'$asfinspect' --json --packets=$spec '$gen_5g' > /dev/null" >&2
    # The answers: the summary and the media objects, against the check;
    # a time selection against reading the header alone.
    say "timing the summary and the media objects"
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/answers.csv" \
        -n check "'$asfinspect' --check '$ffmpeg_input' > /dev/null; test \$? -le 3" \
        -n summary "'$asfinspect' --summary '$ffmpeg_input' > /dev/null" \
        -n summary-header "'$asfinspect' --summary --packets=none '$ffmpeg_input' > /dev/null" \
        -n objects "'$asfinspect' --objects '$ffmpeg_input' > /dev/null" \
        -n objects-time "'$asfinspect' --objects --time=20-21 '$ffmpeg_input' > /dev/null" >&2
    local a_check a_summary a_header a_objects a_time
    a_check=$(mean_of "$data/answers.csv" check)
    a_summary=$(mean_of "$data/answers.csv" summary)
    a_header=$(mean_of "$data/answers.csv" summary-header)
    a_objects=$(mean_of "$data/answers.csv" objects)
    a_time=$(mean_of "$data/answers.csv" objects-time)
    local rss_summary rss_objects
    rss_summary=$(peak_rss_kib --summary "$gen_5g")
    rss_objects=$(peak_rss_kib --objects "$gen_5g")
    local answers_rows
    answers_rows=$(printf '| `--check` | %.4f s | 1.00 |\n| `--summary` | %.4f s | %s |\n| `--summary --packets=none` | %.4f s | %s |\n| `--objects` | %.4f s | %s |\n| `--objects --time=20-21` | %.4f s | %s of the header alone |' \
        "$a_check" "$a_summary" "$(ratio "$a_summary" "$a_check")" "$a_header" \
        "$(ratio "$a_header" "$a_check")" "$a_objects" "$(ratio "$a_objects" "$a_check")" \
        "$a_time" "$(ratio "$a_time" "$a_header")")
    local verdict_answers
    verdict_answers=$(awk -v s="$(ratio "$a_summary" "$a_check")" -v o="$(ratio "$a_objects" "$a_check")" \
        -v h="$a_header" -v t="$(ratio "$a_time" "$a_header")" -v r1="$rss_summary" -v r2="$rss_objects" \
        'BEGIN { print "--summary within 1.2x of --check: " (s <= 1.2 ? "met" : "NOT met") \
                 "; header alone under 5 ms: " (h < 0.005 ? "met" : "NOT met") \
                 "; --objects within 1.5x of --check: " (o <= 1.5 ? "met" : "NOT met") \
                 "; a second of --time within 2x of the header alone: " (t <= 2 ? "met" : "NOT met") \
                 "; peak RSS of --summary / --objects on 5 GiB under 8 MiB: " (r1 < 8192 && r2 < 8192 ? "met" : "NOT met") }')

    local header_rows=""
    for name in json-header ffprobe-streams mediainfo; do
        local t
        t=$(mean_of "$data/header.csv" "$name")
        [[ -n $t ]] || continue
        header_rows+=$(printf '| %s | %.3f s |' "$name" "$t")
        header_rows+=$'\n'
    done
    local select_rows=""
    for name in select-dump select-tree select-json; do
        select_rows+=$(printf '| %s | %.4f s |' "$name" "$(mean_of "$data/select.csv" "$name")")
        select_rows+=$'\n'
    done

    local verdict_probe verdict_cat verdict_rss
    verdict_probe=$(awk -v r="$(ratio "$t_null" "$t_probe")" 'BEGIN { print (r <= 0.5 ? "met" : "NOT met") }')
    verdict_cat=$(awk -v r="$worst_cat" 'BEGIN { print (r <= 3 ? "met" : "NOT met") }')
    verdict_rss=$(awk -v a="$rss_small" -v b="$rss_big" \
        'BEGIN { d = a - b; if (d < 0) d = -d; print (a < 6144 && b < 6144 && d <= 256 ? "met" : "NOT met") }')

    table=$(
        cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) CPUs ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)), Linux $(uname -r); load average $load_before before the timed runs, $load_after after.
Files are in the page cache (hyperfine runs a warmup first); times are hyperfine means of wall-clock time.

On the ffmpeg-made file ($(file_bytes "$ffmpeg_input") bytes):

| Command | Mean time | Ratio |
|---|---|---|
| \`asfinspect FILE > /dev/null\` | $(printf '%.3f' "$t_null") s | $(ratio "$t_null" "$t_probe") of ffprobe |
| \`asfinspect FILE > DUMP\` | $(printf '%.3f' "$t_file") s | $(ratio "$t_file" "$t_probe") of ffprobe |
| \`ffprobe -v error -show_packets FILE > /dev/null\` | $(printf '%.3f' "$t_probe") s | 1.00 |
| \`cat FILE DUMP > /dev/null\` | $(printf '%.3f' "$t_cat") s | dump is $(ratio "$t_null" "$t_cat")x this floor |

Full dump to /dev/null on each input:

| Input | Size | Dump | Packets | Time | x cat floor | Input MB/s | Output MB/s | Packets/s | Peak RSS |
|---|---|---|---|---|---|---|---|---|---|
${rows}
Targets: dump <= 0.5 of ffprobe: $verdict_probe; within 3x of the cat floor: $verdict_cat; peak RSS under 6 MiB and the same for 100 MB and 5 GiB: $verdict_rss.

The complete decode of every packet to /dev/null, against the dump of the same file (ratios to the dump; peak RSS of --tree / --json / --check):

| Input | Dump | --tree | --json | --check | Peak RSS |
|---|---|---|---|---|---|
${decode_rows}
Targets: --tree and --json within 2x of the dump on the 100 MB file: $verdict_view; --check within 1.5x: $verdict_check; peak RSS of --tree and --json under 8 MiB on every input: $verdict_view_rss; of --check under 16 MiB: $verdict_check_rss.

The header alone of the 100 MB file (objects, streams, tags; no packet):

| Command | Mean time |
|---|---|
${header_rows}
\`json-header\` is \`asfinspect --json --packets=none\`, \`ffprobe-streams\` is \`ffprobe -show_format -show_streams\`, \`mediainfo\` is \`mediainfo --Full\`.

The answers on the 100 MB file (ratios to \`--check\`), and their peak RSS on the 5 GiB file (\`--summary\` $rss_summary KiB, \`--objects\` $rss_objects KiB):

| Command | Mean time | Ratio |
|---|---|---|
${answers_rows}

Targets: $verdict_answers.

Packets $spec of the 5 GiB file, reached by their offsets:

| Command | Mean time |
|---|---|
${select_rows}
EOF
    )
    printf '%s\n' "$table"
    write_results run.sh "$table"
}

main "$@"

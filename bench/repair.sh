#!/usr/bin/env bash
# Measures --repair: a generated recording of about 120 MB cut at 89 % (the
# recorder stopped inside a packet) repaired into a new file, against cp of
# the same file, and cp followed by a sync of the copy (the repair syncs what
# it writes before it renames it); peak RSS of the repair on it and on the
# generated 5 GiB file cut the same way, when the disk has room for it.
# Prints the table and writes it into bench/RESULTS.md.
#
# Environment: BENCH_BUILD_DIR (default build/bench-run), BENCH_RUNS (timed
# runs, default 10), BENCH_REGENERATE=1 to rebuild the cached inputs in
# bench/data/, BENCH_NO_BIG=1 to leave out the 5 GiB file.
set -euo pipefail

source "$(dirname "$0")/lib.sh"

gen_120m=$data/gen-120m-3200.asf
gen_5g=$data/gen-5g-3200.asf

peak_rss_kib() {
    { /usr/bin/time -v "$@" >/dev/null || true; } 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

cut_at_89() { # file cut
    local size
    size=$(stat -c %s "$1")
    head -c $((size * 89 / 100)) "$1" >"$2"
}

main() {
    for tool in cmake hyperfine awk /usr/bin/time; do
        command -v "$tool" >/dev/null || die "$tool is missing"
    done
    mkdir -p "$data"
    build_binaries
    make_generated_input "$gen_120m" 120000000
    local cut=$data/repair-cut.asf out=$data/repair-out.asf
    cut_at_89 "$gen_120m" "$cut"
    local size
    size=$(stat -c %s "$cut")
    say "timing the repair of $cut"
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/repair.csv" \
        -n repair "'$asfinspect' --repair --force -o '$out' '$cut' > /dev/null" \
        -n cp "cp '$cut' '$out'" \
        -n cp-sync "cp '$cut' '$out' && sync '$out'" >&2
    local repair cp cp_sync rss
    repair=$(printf '%.3f' "$(mean_of "$data/repair.csv" repair)")
    cp=$(printf '%.3f' "$(mean_of "$data/repair.csv" cp)")
    cp_sync=$(printf '%.3f' "$(mean_of "$data/repair.csv" cp-sync)")
    rss=$(peak_rss_kib "$asfinspect" --repair --force -o "$out" "$cut")
    local big_line="The 5 GiB file was left out (BENCH_NO_BIG, or too little disk)."
    local avail
    avail=$(df -k --output=avail "$data" | tail -1)
    if [[ -z ${BENCH_NO_BIG:-} && $avail -gt $((16 * 1024 * 1024)) ]]; then
        make_generated_input "$gen_5g" 5368709120
        cut_at_89 "$gen_5g" "$cut"
        local big_rss check_rss
        big_rss=$(peak_rss_kib "$asfinspect" --repair --force -o "$out" "$cut")
        check_rss=$(peak_rss_kib "$asfinspect" --check "$out")
        big_line="Peak RSS on the generated 5 GiB file cut at 89 %: $big_rss KiB; of --check of its repaired file alone: $check_rss KiB."
    fi
    rm -f "$cut" "$out"
    local load
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    local text
    text=$(
        cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M') UTC on $(nproc) CPUs; load average $load after the runs.
\`bench/repair.sh\`: the generated ~120 MB file cut at 89 % ($size bytes), in the page cache, repaired into a new file (\`--repair --force -o OUT CUT\`: two passes over CUT, the write, a sync, a third pass over OUT, the rename); hyperfine means of $runs runs.

| Command | Mean time | Ratio to cp |
|---|---|---|
| \`asfinspect --repair --force -o OUT CUT\` | $repair s | $(ratio "$repair" "$cp") |
| \`cp CUT OUT\` | $cp s | 1.00 |
| \`cp CUT OUT && sync OUT\` | $cp_sync s | $(ratio "$cp_sync" "$cp") |

Peak RSS of the repair: $rss KiB. $big_line

Targets: within 1.5x of cp; RSS under 16 MiB and the same on 5 GiB.
EOF
    )
    printf '%s\n' "$text"
    write_results repair.sh "$text"
}

main "$@"

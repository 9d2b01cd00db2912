#!/usr/bin/env bash
# Measures runs over many files: `--check -r` over a directory of 2,000 small
# files (the test fixtures and the real-world samples, copied over and over)
# with one job and with two, against `exiftool -r -j` and
# `mediainfo --Output=JSON` over the same directory; then `--check` of one
# large file with one job and with two. Prints the table and writes it into
# bench/RESULTS.md.
#
# Environment: BENCH_BUILD_DIR (default build/bench-run), BENCH_RUNS (timed
# runs of asfinspect, default 10; the other tools run 3 times),
# BENCH_REGENERATE=1 to rebuild the directory in bench/data/.
set -euo pipefail

source "$(dirname "$0")/lib.sh"

many=$data/many
many_count=2000
large=$data/ffmpeg-720p-40s.wmv
samples=$root/../shared/samples/asf

# The directory of small files, in subdirectories of 100 each.
make_many() {
    [[ -d $many && -z ${BENCH_REGENERATE:-} ]] && return
    say "copying $many_count files into $many"
    rm -rf "$many"
    local -a sources=("$root"/tests/data/*.asf "$root"/tests/data/*.wma "$root"/tests/data/*.wmv
        "$root"/tests/data/gstreamer/*.wmv)
    if [[ -d $samples ]]; then
        sources+=("$samples"/*)
    fi
    local i
    for ((i = 0; i < many_count; i++)); do
        local source=${sources[i % ${#sources[@]}]} dir
        dir=$many/$(printf '%02d' $((i / 100)))
        mkdir -p "$dir"
        cp "$source" "$dir/$(printf '%04d' "$i")-$(basename "$source")"
    done
}

main() {
    for tool in cmake hyperfine exiftool mediainfo; do
        command -v "$tool" >/dev/null || die "$tool is missing (Debian: apt-get install -y $tool)"
    done
    [[ -s $large ]] || die "$large is missing: bench/run.sh makes it"
    mkdir -p "$data"
    build_binaries
    make_many
    local files bytes
    files=$(find "$many" -type f | wc -l)
    bytes=$(du -sb "$many" | cut -f1)

    local load_before load_after
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    # --check exits 3 when a file has errors, and the samples include broken
    # files; exiftool and mediainfo are timed however they end.
    say "timing --check over $files files"
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/many.csv" \
        -n check-j1 "'$asfinspect' --check -r -j 1 '$many' > /dev/null; test \$? -eq 3" \
        -n check-j2 "'$asfinspect' --check -r -j 2 '$many' > /dev/null; test \$? -eq 3" \
        -n two-j1 "'$asfinspect' --check -r -j 1 '$many' > /dev/null &
                   '$asfinspect' --check -r -j 1 '$many' > /dev/null; wait" >&2
    say "timing exiftool and mediainfo over the same files"
    hyperfine --style basic --warmup 1 --runs 3 --export-csv "$data/many-others.csv" \
        -n exiftool "exiftool -r -j '$many' > /dev/null 2>&1 || true" \
        -n mediainfo "mediainfo --Output=JSON '$many' > /dev/null 2>&1 || true" >&2
    say "timing --check of one large file"
    hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$data/one-large.csv" \
        -n large-j1 "'$asfinspect' --check -j 1 '$large' > /dev/null" \
        -n large-j2 "'$asfinspect' --check -j 2 '$large' > /dev/null" >&2
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)

    local j1 j2 two exif mi l1 l2
    j1=$(mean_of "$data/many.csv" check-j1)
    j2=$(mean_of "$data/many.csv" check-j2)
    two=$(mean_of "$data/many.csv" two-j1)
    exif=$(mean_of "$data/many-others.csv" exiftool)
    mi=$(mean_of "$data/many-others.csv" mediainfo)
    l1=$(mean_of "$data/one-large.csv" large-j1)
    l2=$(mean_of "$data/one-large.csv" large-j2)
    local rss
    rss=$({ /usr/bin/time -v "$asfinspect" --check -r -j 2 "$many" >/dev/null || true; } 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }')
    local verdict
    verdict=$(awk -v j1="$j1" -v j2="$j2" -v e="$exif" -v m="$mi" -v l1="$l1" -v l2="$l2" \
        'BEGIN { d = l2 / l1 - 1; if (d < 0) d = -d
                 print "two jobs at least 1.7x one: " (j1 / j2 >= 1.7 ? "met" : "NOT met") \
                 "; at least 10x faster than exiftool and mediainfo: " \
                 (e / j2 >= 10 && m / j2 >= 10 ? "met" : "NOT met") \
                 "; -j changes nothing on one file (within 5%): " (d <= 0.05 ? "met" : "NOT met") }')

    local table
    table=$(
        cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) CPUs ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)), Linux $(uname -r); load average $load_before before the timed runs, $load_after after.
$files files, $(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB, in the page cache; times are hyperfine means of wall-clock time ($runs runs of asfinspect, 3 of the others).

| Command | Mean time | Files/s | Ratio |
|---|---|---|---|
| \`asfinspect --check -r -j 1 DIR\` | $(printf '%.3f' "$j1") s | $(awk -v n="$files" -v t="$j1" 'BEGIN { printf "%.0f", n / t }') | 1.00 |
| \`asfinspect --check -r -j 2 DIR\` | $(printf '%.3f' "$j2") s | $(awk -v n="$files" -v t="$j2" 'BEGIN { printf "%.0f", n / t }') | $(ratio "$j1" "$j2")x faster |
| \`exiftool -r -j DIR\` | $(printf '%.3f' "$exif") s | $(awk -v n="$files" -v t="$exif" 'BEGIN { printf "%.0f", n / t }') | $(ratio "$exif" "$j2")x the time of two jobs |
| \`mediainfo --Output=JSON DIR\` | $(printf '%.3f' "$mi") s | $(awk -v n="$files" -v t="$mi" 'BEGIN { printf "%.0f", n / t }') | $(ratio "$mi" "$j2")x the time of two jobs |

What the machine gives two jobs: two separate one-job runs at once take $(printf '%.3f' "$two") s, that is $(awk -v a="$j1" -v b="$two" 'BEGIN { printf "%.2f", 2 * a / b }')x the work of one in its time; two jobs in one run reach $(awk -v a="$j2" -v b="$two" 'BEGIN { printf "%.0f", 100 * b / 2 / a }') % of that.

Peak RSS of \`--check -r -j 2\` over the directory: $rss KiB.

One large file ($(stat -c %s "$large") bytes): \`--check -j 1\` $(printf '%.4f' "$l1") s, \`--check -j 2\` $(printf '%.4f' "$l2") s.

Targets: $verdict.
EOF
    )
    printf '%s\n' "$table"
    write_results batch.sh "$table"
}

main "$@"

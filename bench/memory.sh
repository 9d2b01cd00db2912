#!/usr/bin/env bash
# Measures the memory of runs over many files: the peak RSS of
# `--check -r -j 2` and `--summary --json -r -j 2` over 1,000 files and over
# 65,000, which are hard links to two small test files, 1,000 to a
# directory. What a run holds is bounded by its jobs and the output waiting
# its turn, not by the number of files: the target is a peak within 3 MiB of
# the run over 1,000. Prints the table and writes it into bench/RESULTS.md.
#
# Environment: BENCH_BUILD_DIR (default build/bench-run), BENCH_REGENERATE=1
# to remake the directories in bench/data/, BENCH_BASELINE=PATH to measure
# another build of asfinspect beside this one.
set -euo pipefail

source "$(dirname "$0")/lib.sh"

sources=("$root/tests/data/audio-wmav2-p1000.wma" "$root/tests/data/video-wmv2-p8192.wmv")

# $2 files in directories of 1,000, hard links to the two sources in turn.
make_links() { # dir count
    local dir=$1 count=$2
    [[ -d $dir && -z ${BENCH_REGENERATE:-} ]] && return
    say "linking $count files into $dir"
    rm -rf "$dir"
    mkdir -p "$dir/000"
    local i
    for ((i = 0; i < 1000 && i < count; i++)); do
        ln "${sources[i % 2]}" "$dir/000/$(printf '%05d' "$i").${sources[i % 2]##*.}"
    done
    # The other directories are copies of the first, made of links too.
    for ((i = 1; i * 1000 < count; i++)); do
        cp -al "$dir/000" "$dir/$(printf '%03d' "$i")"
    done
}

# Peak RSS in KiB of asfinspect ($1) with the rest as arguments.
peak_rss() {
    local binary=$1 report
    shift
    report=$(mktemp)
    /usr/bin/time -v -o "$report" "$binary" "$@" >/dev/null 2>&1 || true
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$report"
    rm -f "$report"
}

main() {
    for tool in cmake /usr/bin/time; do
        command -v "$tool" >/dev/null || die "$tool is missing (Debian: apt-get install -y cmake time)"
    done
    mkdir -p "$data"
    build_binaries
    local small=$data/links-1000 large=$data/links-65000
    make_links "$small" 1000
    make_links "$large" 65000

    local rows="" verdict="met" binary name mode a b
    local -a binaries=("$asfinspect")
    if [[ -n ${BENCH_BASELINE:-} ]]; then
        binaries+=("$BENCH_BASELINE")
    fi
    for binary in "${binaries[@]}"; do
        name=this
        if [[ $binary != "$asfinspect" ]]; then
            name=baseline
        fi
        for mode in "--check" "--summary --json"; do
            say "measuring $name $mode"
            # shellcheck disable=SC2086
            a=$(peak_rss "$binary" $mode -r -j 2 "$small")
            # shellcheck disable=SC2086
            b=$(peak_rss "$binary" $mode -r -j 2 "$large")
            rows+="| $name | \`asfinspect $mode -r -j 2 DIR\` | $a KiB | $b KiB | $((b - a)) KiB |"$'\n'
            if [[ $binary == "$asfinspect" ]] && ((b - a > 3072)); then
                verdict="NOT met"
            fi
        done
    done

    local table
    table="Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) CPUs, Linux $(uname -r), with \`/usr/bin/time -v\`; the files are hard links to \`tests/data/audio-wmav2-p1000.wma\` and \`tests/data/video-wmv2-p8192.wmv\`, 1,000 to a directory.

| Build | Command | Peak RSS, 1,000 files | Peak RSS, 65,000 files | Difference |
|---|---|---|---|---|
${rows%$'\n'}

Target: over 65,000 files within 3 MiB of the run over 1,000: $verdict."
    printf '%s\n' "$table"
    write_results memory.sh "$table"
}

main "$@"

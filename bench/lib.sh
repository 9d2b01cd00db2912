# Shared by the benchmark scripts: messages, the release build, the inputs
# (made once into $data: $ffmpeg_input, or a generated file), hyperfine's CSV,
# and the measured sections of RESULTS.md.

# Where things are, and the runs per command (BENCH_BUILD_DIR, BENCH_RUNS).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-run}
data=$root/bench/data
results=$root/bench/RESULTS.md
runs=${BENCH_RUNS:-10}

say() { printf '%s\n' "$*" >&2; }
die() {
    say "bench: $*"
    exit 1
}

build_binaries() {
    say "building release binaries in $build"
    cmake --preset release -B "$build" -DASFINSPECT_TOOLS=ON >/dev/null
    cmake --build "$build" -j2 --target asfinspect asfgen >/dev/null
    asfinspect=$build/asfinspect
    asfgen=$build/tools/asfgen
}

# hyperfine's mean wall time in seconds of the command named $2 in CSV $1.
mean_of() {
    awk -F, -v name="$2" '$1 == name { print $2 }' "$1"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Replaces the measured section of RESULTS.md, keeping the notes around it.
write_results() { # script text
    local begin="<!-- measured by bench/$1: begin -->" end="<!-- measured by bench/$1: end -->"
    if ! grep -qxF "$begin" "$results" 2>/dev/null; then
        printf '\n%s\n%s\n' "$begin" "$end" >>"$results"
    fi
    local section
    section=$(mktemp)
    printf '%s\n' "$2" >"$section"
    awk -v begin="$begin" -v end="$end" -v section="$section" '
        $0 == begin { print; while ((getline line < section) > 0) print line; skip = 1; next }
        $0 == end { skip = 0 }
        !skip { print }
    ' "$results" >"$results.new"
    mv "$results.new" "$results"
    rm -f "$section"
    say "wrote $results"
}

# 40 s of 1280x720 test pattern at 20 Mbit/s (noise keeps the encoder at its
# bitrate), WMV2 video and WMA2 audio in 3200-byte packets: about 100 MB.
make_ffmpeg_input() {
    [[ -s $ffmpeg_input && -z ${BENCH_REGENERATE:-} ]] && return
    say "making $ffmpeg_input with ffmpeg (about a minute)"
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i testsrc=size=1280x720:rate=30:duration=40 \
        -f lavfi -i sine=frequency=440:sample_rate=44100:duration=40 \
        -vf noise=alls=20:allf=t -c:v wmv2 -b:v 20M -c:a wmav2 -b:a 128k \
        -packet_size 3200 -f asf "$ffmpeg_input.part"
    mv "$ffmpeg_input.part" "$ffmpeg_input"
}

make_generated_input() { # file size
    local file=$1 size=$2
    [[ -s $file && -z ${BENCH_REGENERATE:-} ]] && return
    say "generating $file"
    "$asfgen" "$file.part" "$size" 3200 >&2
    mv "$file.part" "$file"
}

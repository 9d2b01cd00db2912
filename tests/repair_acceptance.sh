#!/bin/bash
# Damages each fixture and sample the ways recordings get damaged, repairs
# it, and holds the result against ffmpeg: `ffmpeg -v error -i OUT -c copy
# -f null -` must print nothing, and every packet hash ffprobe gives of OUT
# must be one of the intact file's. Run by hand from the top of the repo:
#
#   tests/repair_acceptance.sh [ASFINSPECT] [FILE...]
#
# Prints a line per file and damage, then a count. Skips (exit 0) without
# ffmpeg, ffprobe or python3 (which makes the noise).
set -u
bin=${1:-build/test/asfinspect}
shift || true
for tool in ffmpeg ffprobe python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: no $tool"
        exit 0
    fi
done
if [ $# -eq 0 ]; then
    set -- examples/*.wmv tests/data/*.asf tests/data/*.wma tests/data/*.wmv \
        tests/data/gstreamer/*.wmv ../shared/samples/asf/*
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The offset of the first object with this GUID (as stored), or nothing.
guid_at() {
    LC_ALL=C grep -obUaP "$2" "$1" | head -1 | cut -d: -f1
}
readonly data_guid='\x36\x26\xb2\x75\x8e\x66\xcf\x11\xa6\xd9\x00\xaa\x00\x62\xce\x6c'
readonly simple_index_guid='\x90\x08\x00\x33\xb1\xe5\xcf\x11\x89\xf4\x00\xa0\xc9\x03\x49\xcb'
readonly props_guid='\xa1\xdc\xab\x8c\x47\xa9\xcf\x11\x8e\xe4\x00\xc0\x0c\x20\x53\x65'

le64() {
    od -An -t u8 -j "$2" -N 8 "$1" | tr -d ' '
}

hashes() {
    ffprobe -v error -show_packets -show_data_hash sha256 "$1" 2>/dev/null | grep '^data_hash=' |
        sort -u
}

passed=0
refused=0
failed=0
# One damaged copy: repaired, then held against ffmpeg and the intact hashes.
judge() {
    local name=$1 damaged=$2 reference=${3:-}
    local out="$work/out.asf"
    rm -f "$out"
    local args=(--repair -o "$out" "$damaged")
    [ -n "$reference" ] && args+=(--reference="$reference")
    "$bin" "${args[@]}" >"$work/said" 2>"$work/err"
    local status=$?
    # A cut inside the header leaves no header: the intact file lends its own.
    if [ $status -eq 3 ] && grep -q 'header is lost' "$work/err"; then
        "$bin" "${args[@]}" --reference="$file" >"$work/said" 2>"$work/err"
        status=$?
        name="$name, header lent"
    fi
    local verdict
    if [ $status -eq 3 ] && [ -n "$intact_errors" ]; then
        verdict="refused, as the intact file has errors: $(head -c 200 "$work/err")"
    elif [ $status -eq 3 ] && grep -q 'no packet to be found\|no Data Object' "$work/err"; then
        verdict="refused: $(head -c 200 "$work/err")"
    elif [ $status -ne 0 ]; then
        verdict="FAIL exit $status: $(head -c 300 "$work/err")"
    elif [ ! -e "$out" ]; then
        verdict="ok: $(tail -1 "$work/said")"
    else
        local complaints
        complaints=$(ffmpeg -nostdin -v error -i "$out" -c copy -f null - 2>&1 | head -3)
        hashes "$out" >"$work/out.hashes"
        local strangers
        strangers=$(comm -13 "$work/intact.hashes" "$work/out.hashes" | wc -l)
        if [ -n "$complaints" ]; then
            verdict="FAIL ffmpeg: $complaints"
        elif [ "$strangers" -ne 0 ]; then
            verdict="FAIL $strangers packet hashes not in the intact file"
        else
            verdict="ok: $(wc -l <"$work/out.hashes") of $(wc -l <"$work/intact.hashes") packets"
        fi
    fi
    case $verdict in
        ok*) passed=$((passed + 1)) ;;
        refused*) refused=$((refused + 1)) ;;
        *) failed=$((failed + 1)) ;;
    esac
    printf '%s\t%s\t%s\n' "$(basename "$file")" "$name" "$verdict"
}

for file in "$@"; do
    [ -f "$file" ] || continue
    data=$(guid_at "$file" "$data_guid")
    props=$(guid_at "$file" "$props_guid")
    if [ -z "$data" ] || [ -z "$props" ]; then
        printf '%s\t-\tskipped: no Data Object or File Properties\n' "$(basename "$file")"
        continue
    fi
    size=$(stat -c %s "$file")
    packet=$(od -An -t u4 -j $((props + 92)) -N 4 "$file" | tr -d ' ')
    data_size=$(le64 "$file" $((data + 16)))
    hashes "$file" >"$work/intact.hashes"
    intact_errors=$("$bin" --check "$file" | grep ': error \[' | head -1)
    damaged="$work/damaged.asf"

    for percent in 30 60 89; do
        head -c $((size * percent / 100)) "$file" >"$damaged"
        judge "cut at $percent %" "$damaged"
    done

    cp "$file" "$damaged"
    packets=$(((size - data - 50) / packet))
    python3 -c "
import random, sys
random.seed(26)
with open(sys.argv[1], 'r+b') as f:
    f.seek(int(sys.argv[2]))
    f.write(bytes(random.getrandbits(8) for _ in range(int(sys.argv[3]))))
" "$damaged" $((data + 50 + packet * (packets / 2))) "$packet"
    judge "noise in packet $((packets / 2))" "$damaged"

    if [ -n "$(guid_at "$file" "$simple_index_guid")" ] && [ $((data + data_size)) -lt "$size" ]; then
        head -c $((data + data_size)) "$file" >"$damaged"
        judge "index removed" "$damaged"
    fi

    cp "$file" "$damaged"
    python3 -c "
import struct, sys
with open(sys.argv[1], 'r+b') as f:
    f.seek(int(sys.argv[2]))
    f.write(struct.pack('<Q', int(sys.argv[3])))
" "$damaged" $((props + 40)) $((size + 12345))
    judge "File Size stale" "$damaged"

    cp "$file" "$damaged"
    head -c 1048576 /dev/zero >>"$damaged"
    judge "1 MiB of zeros appended" "$damaged"

    cp "$file" "$damaged"
    dd if=/dev/zero of="$damaged" bs=1 count="$data" conv=notrunc status=none
    judge "header zeroed" "$damaged" "$file"
done
echo "$passed passed, $failed failed, $refused skipped (refused as they should be)"
[ "$failed" -eq 0 ]

#pragma once

#include <cstdint>
#include <span>

// Digests of media objects, to prove that a repaired file holds the media
// objects it should, byte for byte, without holding them: each object's
// bytes fold into a 64-bit value, and the values of all the objects add up,
// so that the order in which objects end doesn't matter.
namespace asfinspect::repair {

// Folds `bytes` into `h`, eight at a time; bytes fed in pieces of a multiple
// of eight fold as the whole would.
std::uint64_t fold(std::uint64_t h, std::span<const std::uint8_t> bytes);
// The end of a run of bytes (a fragment): its length mixed in.
std::uint64_t seal(std::uint64_t h, std::uint64_t length);

struct Digest {
    std::uint64_t objects = 0;
    std::uint64_t bytes = 0;
    std::uint64_t sum = 0;

    void add(std::uint8_t stream, std::uint32_t number, std::uint32_t time, std::uint32_t size,
             std::uint64_t value);
    friend bool operator==(const Digest&, const Digest&) = default;
};

}  // namespace asfinspect::repair

#include "repair/digest.hpp"

#include <bit>

#include "io/le.hpp"

namespace asfinspect::repair {

namespace {

constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15;

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9;
    h ^= h >> 29;
    return h;
}

}  // namespace

std::uint64_t fold(std::uint64_t h, std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    // Each pass folds one word of eight bytes.
    for (; at + 8 <= bytes.size(); at += 8)
        h = std::rotl(h ^ io::le64(bytes, at), 27) * kPrime;
    std::uint64_t tail = 0;
    // Each pass takes one of the last bytes, fewer than eight.
    for (std::size_t i = 0; at + i < bytes.size(); ++i)
        tail |= std::uint64_t{bytes[at + i]} << (8 * i);
    return at == bytes.size() ? h : std::rotl(h ^ tail, 27) * kPrime + 1;
}

std::uint64_t seal(std::uint64_t h, std::uint64_t length) {
    return mix(h ^ mix(length + kPrime));
}

void Digest::add(std::uint8_t stream, std::uint32_t number, std::uint32_t time, std::uint32_t size,
                 std::uint64_t value) {
    ++objects;
    bytes += size;
    sum += mix(value ^ mix((std::uint64_t{stream} << 56) ^ (std::uint64_t{number} << 24) ^
                           (std::uint64_t{time} * kPrime)));
}

}  // namespace asfinspect::repair

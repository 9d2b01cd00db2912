#include "io/zeros.hpp"

#include <algorithm>
#include <array>
#include <span>

namespace asfinspect::io {

namespace {

// Read in chunks this large; the first chunk of a run is small, as most runs
// end at once.
constexpr std::int64_t kChunk = 4096;
constexpr std::int64_t kFirstChunk = 64;

}  // namespace

std::int64_t zeros_end(FileReader& file, std::int64_t from, std::int64_t to) {
    std::array<std::uint8_t, kChunk> chunk{};
    std::int64_t step = kFirstChunk;
    // Each pass looks at one chunk, until a byte isn't zero or the run ends.
    for (std::int64_t at = from; at < to && !file.failed(); at += step, step = kChunk) {
        const auto n = static_cast<std::size_t>(std::min(to - at, step));
        file.read_at(at, std::span(chunk).first(n));
        const auto* hit =
            std::find_if(chunk.begin(), chunk.begin() + n, [](std::uint8_t b) { return b != 0; });
        if (hit != chunk.begin() + n)
            return at + (hit - chunk.begin());
    }
    return file.failed() ? from : to;
}

std::int64_t zeros_start(FileReader& file, std::int64_t from, std::int64_t to) {
    std::array<std::uint8_t, kChunk> chunk{};
    std::int64_t step = kFirstChunk;
    // Each pass looks at one chunk, from the end back, until a byte isn't
    // zero or the run reaches `from`.
    for (std::int64_t end = to; end > from && !file.failed(); end -= step, step = kChunk) {
        const auto n = static_cast<std::size_t>(std::min(end - from, step));
        file.read_at(end - static_cast<std::int64_t>(n), std::span(chunk).first(n));
        const auto last = std::find_if(chunk.rbegin() + static_cast<std::ptrdiff_t>(kChunk - n),
                                       chunk.rend(), [](std::uint8_t b) { return b != 0; });
        if (last != chunk.rend())
            return end - (last - (chunk.rbegin() + static_cast<std::ptrdiff_t>(kChunk - n)));
    }
    return file.failed() ? to : from;
}

}  // namespace asfinspect::io

#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "io/file_reader.hpp"

namespace asfinspect::io {

// Reads the little-endian fields of a stretch of the file, [start, end), in
// order. A field that the end of the stretch or of the file would cut short
// is not read, and neither is anything once a read of the file has failed:
// what it would give are zeros, not the file's bytes.
class Cursor {
  public:
    Cursor(FileReader& file, std::int64_t start, std::int64_t end)
        : file_(&file), start_(start), position_(start), end_(std::max(start, end)) {}

    FileReader& file() const { return *file_; }
    std::int64_t start() const { return start_; }
    std::int64_t position() const { return position_; }
    std::int64_t end() const { return end_; }
    std::int64_t left() const { return end_ - position_; }
    // The bytes from the position to the end of the stretch that the file holds.
    std::int64_t left_in_file() const {
        return std::clamp<std::int64_t>(file_->size() - position_, 0, left());
    }

    // Whether the next `bytes` bytes can be read.
    bool holds(std::uint64_t bytes) const {
        return !file_->failed() && bytes <= static_cast<std::uint64_t>(left_in_file());
    }

    // An unsigned integer of 0 to 8 bytes, or nullopt when it can't be read.
    std::optional<std::uint64_t> uint(int width) {
        if (!holds(static_cast<std::uint64_t>(width)))
            return std::nullopt;
        return take(width);
    }
    // The same for a field the caller knows the stretch holds.
    std::uint64_t take(int width) {
        std::array<std::uint8_t, 8> raw{};
        file_->read_at(position_, std::span(raw).first(static_cast<std::size_t>(width)));
        position_ += width;
        std::uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | raw[static_cast<std::size_t>(i)];
        return v;
    }
    bool skip(std::uint64_t bytes) {
        if (!holds(bytes))
            return false;
        position_ += static_cast<std::int64_t>(bytes);
        return true;
    }
    // Moves to `to`, kept within the stretch.
    void seek(std::int64_t to) { position_ = std::clamp(to, start_, end_); }

  private:
    FileReader* file_;
    std::int64_t start_;
    std::int64_t position_;
    std::int64_t end_;
};

}  // namespace asfinspect::io

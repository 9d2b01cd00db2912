#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "io/file_reader.hpp"
#include "io/le.hpp"

namespace asfinspect::io {

// Reads the little-endian fields of a stretch of the file, [start, end), in
// order. A field that the end of the stretch or of the file would cut short
// is not read, and neither is anything once a read of the file has failed:
// what it would give are zeros, not the file's bytes.
class Cursor {
  public:
    Cursor(FileReader& file, std::int64_t start, std::int64_t end)
        : file_(&file),
          start_(start),
          position_(start),
          end_(std::max(start, end)),
          limit_(std::min(end_, std::max(start, file.size()))) {}

    FileReader& file() const { return *file_; }
    std::int64_t start() const { return start_; }
    std::int64_t position() const { return position_; }
    std::int64_t end() const { return end_; }
    std::int64_t left() const { return end_ - position_; }
    // The bytes from the position to the end of the stretch that the file holds.
    std::int64_t left_in_file() const { return std::max<std::int64_t>(limit_ - position_, 0); }

    // Whether the next `bytes` bytes can be read.
    bool holds(std::uint64_t bytes) const {
        return bytes <= static_cast<std::uint64_t>(left_in_file()) && !file_->failed();
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
        // Each width copies a known number of bytes, which compiles to a load.
        switch (width) {
            case 1:
                file_->read_at(position_, std::span(raw).first<1>());
                break;
            case 2:
                file_->read_at(position_, std::span(raw).first<2>());
                break;
            case 4:
                file_->read_at(position_, std::span(raw).first<4>());
                break;
            default:
                file_->read_at(position_, std::span(raw).first(static_cast<std::size_t>(width)));
                break;
        }
        position_ += width;
        return le64(raw, 0);
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
    std::int64_t limit_;  // the end, or the file's end when it comes first
};

}  // namespace asfinspect::io

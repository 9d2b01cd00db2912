#include "io/file_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace asfinspect::io {

FileReader::FileReader(int fd, std::int64_t size, PreadFn pread)
    : fd_(fd), pread_(pread), size_(size < 0 ? 0 : size) {}

FileReader::FileReader(std::span<const std::uint8_t> bytes)
    : size_(static_cast<std::int64_t>(bytes.size())),
      bytes_(bytes),
      block_data_(bytes.data()),
      block_len_(bytes.size()) {}

FileReader::FileReader(FileReader& origin, std::size_t block_size, std::size_t blocks)
    : fd_(origin.fd_),
      pread_(origin.pread_),
      size_(origin.size_),
      bytes_(origin.bytes_),
      origin_(&origin),
      head_fd_(origin.head_fd_),
      head_size_(origin.head_size_),
      from_(origin.from_),
      block_size_(std::max<std::size_t>(block_size, 1)) {
    if (fd_ >= 0) {
        // Not value-initialised: a block's pages are touched when it is read.
        blocks_.reset(new std::uint8_t[block_size_ * std::max<std::size_t>(blocks, 1)]);
        block_offsets_.assign(std::max<std::size_t>(blocks, 1), -1);
        block_lengths_.assign(block_offsets_.size(), 0);
    }
}

FileReader::FileReader(int head_fd, std::int64_t head_size, int fd, std::int64_t from,
                       std::int64_t size)
    : fd_(fd),
      pread_(::pread),
      size_(std::max<std::int64_t>(head_size, 0) +
            std::max<std::int64_t>(size - std::max<std::int64_t>(from, 0), 0)),
      head_fd_(head_fd),
      head_size_(std::max<std::int64_t>(head_size, 0)),
      from_(std::max<std::int64_t>(from, 0)) {}

void FileReader::release() {
    if (fd_ < 0 || blocks_ != nullptr)
        return;
    std::vector<std::uint8_t>().swap(block_);
    block_data_ = nullptr;
    block_offset_ = 0;
    block_len_ = 0;
}

ssize_t FileReader::read_input(std::uint8_t* to, std::size_t n, std::int64_t offset) {
    if (head_fd_ < 0)
        return pread_(fd_, to, n, static_cast<off_t>(offset));
    if (offset < head_size_) {
        const auto k = static_cast<std::size_t>(
            std::min<std::int64_t>(head_size_ - offset, static_cast<std::int64_t>(n)));
        return pread_(head_fd_, to, k, static_cast<off_t>(offset));
    }
    return pread_(fd_, to, n, static_cast<off_t>(offset - head_size_ + from_));
}

void FileReader::bring_in_slow(std::int64_t offset, std::int64_t n) {
    // A second reader's blocks are small; reads find what is wrong.
    if (fd_ < 0 || blocks_ != nullptr || failed() || !holds(offset, n) ||
        n > static_cast<std::int64_t>(kBlockSize)) {
        return;
    }
    load_block(offset);
}

std::size_t FileReader::read_at_slow(std::int64_t offset, std::span<std::uint8_t> dst) {
    std::fill(dst.begin(), dst.end(), std::uint8_t{0});
    const auto n = static_cast<std::int64_t>(dst.size());
    // Clip [offset, offset + n) to [0, size_) without overflowing near the int64 limits.
    if (n == 0 || offset >= size_ || (offset < 0 && offset + n <= 0))
        return 0;
    const std::int64_t first = std::max<std::int64_t>(offset, 0);
    const std::int64_t last = offset > size_ - n ? size_ : offset + n;
    auto inside = dst.subspan(static_cast<std::size_t>(first - offset),
                              static_cast<std::size_t>(last - first));
    copy_from_file(first, inside);
    return inside.size();
}

void FileReader::copy_from_file(std::int64_t offset, std::span<std::uint8_t> dst) {
    if (fd_ < 0) {
        std::memcpy(dst.data(), bytes_.data() + offset, dst.size());
        return;
    }
    if (failed() || (origin_ != nullptr && origin_->failed()))
        return;  // zeros, as read_at_slow left them
    if (blocks_ != nullptr) {
        copy_from_blocks(offset, dst);
        return;
    }
    if (dst.size() > kBlockSize / 2) {
        // Large reads bypass the block. Each pass reads more or ends the read.
        std::size_t done = 0;
        while (done < dst.size()) {
            const ssize_t got = read_input(dst.data() + done, dst.size() - done,
                                           offset + static_cast<std::int64_t>(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                fail(got < 0 ? errno : 0);
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return;
    }
    const auto end = offset + static_cast<std::int64_t>(dst.size());
    int load_error = 0;
    if (offset < block_offset_ || end > block_offset_ + static_cast<std::int64_t>(block_len_)) {
        load_error = load_block(offset);
    }
    const auto avail =
        std::clamp<std::int64_t>(block_offset_ + static_cast<std::int64_t>(block_len_) - offset, 0,
                                 static_cast<std::int64_t>(dst.size()));
    std::memcpy(dst.data(), block_data_ + (offset - block_offset_),
                static_cast<std::size_t>(avail));
    // A failure further into the block than this read reaches is not yet an
    // error of the dump: only bytes it asks for and can't have are. Every
    // byte asked for lies before size_, so one that is missing without an
    // error was cut off the file after it was opened.
    if (avail < static_cast<std::int64_t>(dst.size()))
        fail(load_error == kShrank ? 0 : load_error);
}

// A second reader's read, piece by piece, each piece inside one of its
// blocks; reads of a few bytes take one piece.
void FileReader::copy_from_blocks(std::int64_t offset, std::span<std::uint8_t> dst) {
    const auto size = static_cast<std::int64_t>(block_size_);
    std::size_t done = 0;
    // Each pass copies at least one byte or ends the read.
    while (done < dst.size()) {
        const std::int64_t at = offset + static_cast<std::int64_t>(done);
        const std::int64_t start = at / size * size;
        const auto slot = static_cast<std::size_t>(at / size) % block_offsets_.size();
        std::uint8_t* const block = blocks_.get() + slot * block_size_;
        if (block_offsets_[slot] != start) {
            block_offsets_[slot] = start;
            const int error =
                fill(block, start, static_cast<std::size_t>(std::min(size, size_ - start)),
                     block_lengths_[slot]);
            if (error != 0)
                block_offsets_[slot] = -1;  // read again next time
            if (error != 0 && block_lengths_[slot] <= static_cast<std::size_t>(at - start)) {
                fail(error == kShrank ? 0 : error);
                return;
            }
        }
        block_data_ = block;
        block_offset_ = start;
        block_len_ = block_lengths_[slot];
        const std::size_t n =
            std::min(dst.size() - done, block_len_ - static_cast<std::size_t>(at - start));
        std::memcpy(dst.data() + done, block + (at - start), n);
        done += n;
    }
}

// A read error (errno) or, for 0, a file that shrank; the first one stays,
// and a second reader's is its origin's too.
void FileReader::fail(int error) {
    if (origin_ != nullptr)
        origin_->fail(error);
    if (failed())
        return;
    if (error != 0) {
        error_ = error;
    } else {
        changed_ = true;
    }
}

// Returns the errno of a read that failed before the block was full,
// kShrank when the file ended before it, or 0.
int FileReader::load_block(std::int64_t offset) {
    const bool onward = block_len_ != 0 && offset > block_offset_ &&
                        offset <= block_offset_ + static_cast<std::int64_t>(block_len_);
    const auto wanted = static_cast<std::int64_t>(onward ? kOnwardBlockSize : kBlockSize);
    // Bytes past size_ (a file growing while it is read) stay out of the block,
    // so the inline path of read_at sees the file as the slow path does; and
    // many small files then clear no more than they hold.
    const auto length =
        static_cast<std::size_t>(std::clamp<std::int64_t>(size_ - offset, 0, wanted));
    if (block_.size() < length)
        block_.resize(length);
    block_data_ = block_.data();
    block_offset_ = offset;
    return fill(block_.data(), offset, length, block_len_);
}

// Reads `wanted` bytes at `offset` into `to`; `got` says how many came.
// Returns the errno of a read that failed before them, kShrank when the file
// ended before them, or 0.
int FileReader::fill(std::uint8_t* to, std::int64_t offset, std::size_t wanted, std::size_t& got) {
    got = 0;
    // Each pass reads more, or ends the fill.
    while (got < wanted) {
        const ssize_t n =
            read_input(to + got, wanted - got, offset + static_cast<std::int64_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return kShrank;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace asfinspect::io

#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace asfinspect::io {

// The one way the engine reads its input: positioned reads at 64-bit offsets
// that deliver the file's bytes where they exist and zero bytes before offset
// 0 and past the end. Reads are served from one cached block, so the many
// small reads of a packet dump cost one system call per block, not per field.
//
// A read that fails (EIO and the like) is not taken for the end of the file:
// the reader keeps the first error, delivers zeros from then on without
// touching the file again, and the engine's loops stop at failed(). So is a
// read that comes back short inside the size the file had when it was opened:
// the file shrank while it was read (changed()), and the zeros the reader
// would deliver for the missing bytes are not what the file held.
class FileReader {
  public:
    // The system call behind the reads: ::pread, or a stand-in in tests.
    using PreadFn = ssize_t (*)(int fd, void* buf, std::size_t n, off_t offset);

    // fd: an open, seekable file of `size` bytes; not owned.
    FileReader(int fd, std::int64_t size, PreadFn pread = ::pread);
    // Reads from a byte buffer instead of a file (tests, fuzzing); not copied.
    explicit FileReader(std::span<const std::uint8_t> bytes);
    // A second reader of `origin`'s input with blocks of its own: up to
    // `blocks` blocks of `block_size` bytes at multiples of it, each kept
    // until another one takes its place. Reads scattered over the file (the
    // packets an index points at) then leave `origin`'s block where it is and
    // reread little they have read before. A failure of its reads, or a
    // change of the file, is `origin`'s too. `origin` must outlive it.
    FileReader(FileReader& origin, std::size_t block_size, std::size_t blocks);
    // Two files read as one: the first `head_size` bytes of `head_fd`, then
    // the bytes of `fd` from `from` up to `size` (the header of one file in
    // front of another's data). Neither is owned.
    FileReader(int head_fd, std::int64_t head_size, int fd, std::int64_t from, std::int64_t size);

    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    std::int64_t size() const { return size_; }

    // Fills `dst` with the bytes at [offset, offset + dst.size()); returns how
    // many of them lie inside the file (the rest are zeros).
    std::size_t read_at(std::int64_t offset, std::span<std::uint8_t> dst) {
        // The common case, a few bytes inside the cached block, stays inline.
        if (!dst.empty() && offset >= block_offset_ && dst.size() <= block_len_ &&
            offset - block_offset_ <= static_cast<std::int64_t>(block_len_ - dst.size())) {
            std::memcpy(dst.data(), block_data_ + (offset - block_offset_), dst.size());
            return dst.size();
        }
        return read_at_slow(offset, dst);
    }

    // Brings [offset, offset + n) into the block when it fits one and isn't
    // there, so that the reads of a stretch read back and forth (a packet,
    // whose payloads are walked again after its header is read) cost one
    // system call.
    void bring_in(std::int64_t offset, std::int64_t n) {
        if (offset >= block_offset_ &&
            offset - block_offset_ + n <= static_cast<std::int64_t>(block_len_)) {
            return;
        }
        bring_in_slow(offset, n);
    }

    // True once a read has failed or the file has changed; error() is the
    // errno of a failed read, 0 for a change.
    bool failed() const { return error_ != 0 || changed_; }
    int error() const { return error_; }
    // True once a read found fewer bytes than the size given at the start.
    bool changed() const { return changed_; }

    // True when all of [offset, offset + n) lies inside the file.
    bool holds(std::int64_t offset, std::int64_t n) const {
        return offset >= 0 && n >= 0 && offset <= size_ && n <= size_ - offset;
    }

    // Lets go of the block read last, until a read needs one again: for a
    // run that is done with this file before it reads another.
    void release();

  private:
    std::size_t read_at_slow(std::int64_t offset, std::span<std::uint8_t> dst);
    void bring_in_slow(std::int64_t offset, std::int64_t n);
    void copy_from_file(std::int64_t offset, std::span<std::uint8_t> dst);
    void copy_from_blocks(std::int64_t offset, std::span<std::uint8_t> dst);
    int load_block(std::int64_t offset);
    int fill(std::uint8_t* to, std::int64_t offset, std::size_t wanted, std::size_t& got);
    // One read of the input at `offset`, from the file or the two files.
    ssize_t read_input(std::uint8_t* to, std::size_t n, std::int64_t offset);
    void fail(int error);

    // What fill and load_block return when the file ended before the bytes
    // they were to read.
    static constexpr int kShrank = -1;

    // A block read where reading starts or jumps to: a header, an index, a
    // packet an index points at need little.
    static constexpr std::size_t kBlockSize = 1 << 16;
    // A block read on from the last one, as the packets are read in order:
    // a quarter of the system calls, and it still fits the processor's
    // second-level cache, where the copy lands.
    static constexpr std::size_t kOnwardBlockSize = 1 << 18;

    int fd_ = -1;
    PreadFn pread_ = nullptr;
    int error_ = 0;  // errno of the first failed read
    bool changed_ = false;
    std::int64_t size_ = 0;
    std::span<const std::uint8_t> bytes_;  // in-memory input, when fd_ < 0
    FileReader* origin_ = nullptr;         // of a second reader
    // Two files as one: [0, head_size_) from head_fd_, the rest from fd_ at
    // offset - head_size_ + from_.
    int head_fd_ = -1;
    std::int64_t head_size_ = 0;
    std::int64_t from_ = 0;
    std::vector<std::uint8_t> block_;
    // The block that reads are served from: block_, or one of a second
    // reader's blocks.
    const std::uint8_t* block_data_ = nullptr;
    std::int64_t block_offset_ = 0;
    std::size_t block_len_ = 0;  // never reaches past size_
    // A second reader's blocks, by their offset divided by block_size_ modulo
    // their count; the memory of each is touched when it is first read into.
    std::size_t block_size_ = kBlockSize;
    std::unique_ptr<std::uint8_t[]> blocks_;
    std::vector<std::int64_t> block_offsets_;  // -1: not read yet
    std::vector<std::size_t> block_lengths_;
};

}  // namespace asfinspect::io

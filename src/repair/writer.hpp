#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "asf/guid.hpp"
#include "io/file_reader.hpp"
#include "repair/plan.hpp"

namespace asfinspect::repair {

// Where the repaired file's bytes go: a descriptor, through a buffer, in
// ASF's little-endian order. After the first failed write nothing more is
// written. `limit` stands in for a full file system in tests: a write past
// it fails as one would with ENOSPC.
class ByteSink {
  public:
    explicit ByteSink(int fd, std::uint64_t limit = std::numeric_limits<std::uint64_t>::max());
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    void bytes(std::span<const std::uint8_t> b);
    void u8(std::uint64_t v) { le(v, 1); }
    void u16(std::uint64_t v) { le(v, 2); }
    void u32(std::uint64_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void le(std::uint64_t v, int width);
    void guid(const asf::Guid& g) { bytes(g.bytes); }
    void zeros(std::uint64_t n);
    // `n` bytes of `in` at `offset`, read and written a large block at a time.
    void copy(io::FileReader& in, std::int64_t offset, std::int64_t n);

    bool flush();
    bool failed() const { return error_ != 0; }
    int error() const { return error_; }
    std::uint64_t written() const { return written_; }

  private:
    void write_out(const std::uint8_t* p, std::size_t n);

    int fd_;
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    int error_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
};

// The second pass: the repaired file, from `in` (the file the plan was made
// of) as the plan says. The Header Object is copied with the fields the plan
// sets, the packets kept are copied, the others rewritten or replaced, the
// indexes rebuilt, and the other objects copied as they are.
void write_repaired(io::FileReader& in, const Plan& plan, ByteSink& out);

}  // namespace asfinspect::repair

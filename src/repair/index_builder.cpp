#include "repair/index_builder.hpp"

#include <algorithm>
#include <limits>

namespace asfinspect::repair {

void SimpleIndexBuilder::push(IndexEntry e, std::uint64_t n) {
    n = std::min(n, kMaxIndexEntries - entries_);
    if (n == 0)
        return;
    if (!runs_.empty() && runs_.back().entry == e) {
        runs_.back().repeat += n;
    } else {
        runs_.push_back({e, n});
    }
    entries_ += n;
    maximum_ = std::max(maximum_, e.packets);
}

void SimpleIndexBuilder::key_frame(std::uint32_t time, std::uint64_t first, std::uint64_t last) {
    const std::uint64_t after = time > preroll_ ? (time - preroll_) * kTicksPerMillisecond : 0;
    if (have_ && after < current_time_)
        return;
    const IndexEntry e{
        static_cast<std::uint32_t>(std::min<std::uint64_t>(first, 0xFFFFFFFF)),
        static_cast<std::uint16_t>(std::min<std::uint64_t>(last - first + 1, 0xFFFF))};
    // The entries whose time comes before this key frame point at the one
    // before it, or at it when it is the first.
    const std::uint64_t before = after / interval_ + (after % interval_ != 0 ? 1 : 0);
    if (before > entries_)
        push(have_ ? current_ : e, before - entries_);
    have_ = true;
    current_ = e;
    current_time_ = after;
}

void SimpleIndexBuilder::finish(std::uint64_t count) {
    if (count > entries_)
        push(have_ ? current_ : IndexEntry{}, count - entries_);
    if (have_ && runs_.empty())
        push(current_, 1);
}

}  // namespace asfinspect::repair

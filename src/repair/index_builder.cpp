#include "repair/index_builder.hpp"

#include <algorithm>
#include <limits>

#include "asf/object_format.hpp"

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

void EntryCursor::pass_used_runs() {
    // Runs used up are passed by.
    while (run_ < runs_.size() && used_ == runs_[run_].repeat) {
        ++run_;
        used_ = 0;
    }
}

IndexEntry EntryCursor::peek() {
    pass_used_runs();
    return run_ == runs_.size() ? IndexEntry{} : runs_[run_].entry;
}

std::uint64_t EntryCursor::repeats() {
    pass_used_runs();
    return run_ == runs_.size() ? kMaxIndexEntries : runs_[run_].repeat - used_;
}

void EntryCursor::skip(std::uint64_t n) {
    pass_used_runs();
    if (run_ < runs_.size())
        used_ += std::min(n, runs_[run_].repeat - used_);
}

IndexEntry EntryCursor::next() {
    const IndexEntry e = peek();
    skip(1);
    return e;
}

IndexObjectBuilder::IndexObjectBuilder(std::uint32_t interval_ms,
                                       const std::vector<decode::IndexSpecifierFacts>& specifiers,
                                       std::uint64_t preroll_ms)
    : interval_(interval_ms == 0 ? 1000 : interval_ms), specifiers_(specifiers) {
    for (const decode::IndexSpecifierFacts& s : specifiers_) {
        const auto stream = static_cast<std::uint8_t>(s.stream & 0x7f);
        key_frames_.emplace_back(stream, std::uint64_t{interval_} * kTicksPerMillisecond,
                                 preroll_ms);
        objects_.emplace_back(stream, std::uint64_t{interval_} * kTicksPerMillisecond, preroll_ms);
    }
}

void IndexObjectBuilder::media_object(std::uint8_t stream, std::uint32_t time, std::uint64_t first,
                                      std::uint64_t last, bool key_frame) {
    for (std::size_t i = 0; i < specifiers_.size(); ++i) {
        if (specifiers_[i].stream != stream)
            continue;
        objects_[i].key_frame(time, first, last);
        if (key_frame)
            key_frames_[i].key_frame(time, first, last);
    }
}

void IndexObjectBuilder::finish(std::uint64_t count,
                                const std::array<bool, decode::kStreamNumbers>& marks_keys,
                                std::uint32_t packet_size) {
    namespace of = asf::object_format;
    packet_size_ = packet_size;
    for (std::size_t i = 0; i < specifiers_.size(); ++i) {
        const bool keys = specifiers_[i].type == of::kNearestPastCleanpoint &&
                          specifiers_[i].stream < decode::kStreamNumbers &&
                          marks_keys[specifiers_[i].stream];
        chosen_.push_back(keys ? &key_frames_[i] : &objects_[i]);
        count = std::max(count, chosen_.back()->entries());
    }
    count = std::min(count, kMaxIndexEntries);
    for (std::size_t i = 0; i < specifiers_.size(); ++i) {
        key_frames_[i].finish(count);
        objects_[i].finish(count);
    }
    entries_ = specifiers_.empty() ? 0 : count;
    // The blocks: a new one where an offset would fall before its block's
    // position or 2^32 bytes past it.
    constexpr std::uint64_t kReach = std::uint64_t{1} << 32;
    std::vector<EntryCursor> all = cursors();
    std::vector<std::uint64_t> offsets(all.size());
    // Each pass takes the entries up to the next end of a run: their offsets
    // are the same.
    for (std::uint64_t e = 0, n = 0; e < entries_; e += n) {
        n = entries_ - e;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const IndexEntry entry = all[i].peek();
            offsets[i] = entry.packets == 0 ? kNoOffset : std::uint64_t{entry.packet} * packet_size;
            n = std::min(n, all[i].repeats());
        }
        for (EntryCursor& c : all)
            c.skip(n);
        bool fits = !blocks_.empty();
        for (std::size_t i = 0; fits && i < offsets.size(); ++i) {
            const std::uint64_t at = blocks_.back().positions[i];
            fits = offsets[i] == kNoOffset || (offsets[i] >= at && offsets[i] - at < kReach - 1);
        }
        if (!fits) {
            blocks_.push_back({0, offsets});
            for (std::uint64_t& o : blocks_.back().positions)
                o = o == kNoOffset ? 0 : o;
        }
        blocks_.back().entries += n;
    }
}

std::vector<EntryCursor> IndexObjectBuilder::cursors() const {
    std::vector<EntryCursor> all;
    for (const SimpleIndexBuilder* b : chosen_)
        all.emplace_back(b->runs());
    return all;
}

std::int64_t IndexObjectBuilder::size() const {
    namespace of = asf::object_format;
    const auto n = static_cast<std::int64_t>(specifiers_.size());
    std::int64_t size = of::kIndexHeadSize + n * of::kIndexSpecifierSize;
    for (const IndexBlock& b : blocks_) {
        size += of::kIndexBlockCountSize + n * of::kIndexBlockPositionSize +
                static_cast<std::int64_t>(b.entries) * n * of::kIndexOffsetSize;
    }
    return size;
}

}  // namespace asfinspect::repair

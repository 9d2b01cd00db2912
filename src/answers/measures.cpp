#include "answers/measures.hpp"

#include <algorithm>
#include <limits>

#include "asf/sentinels.hpp"
#include "io/saturating.hpp"

namespace asfinspect::answers {

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kSmallest = std::numeric_limits<std::int64_t>::min();
constexpr std::uint64_t kUnknownBitrate = 0xFFFFFFFF;

// Rounds toward minus infinity, as window boundaries need for times inside
// the preroll.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

}  // namespace

std::int64_t ticks_of_ms(std::int64_t ms) {
    std::int64_t ticks = 0;
    if (__builtin_mul_overflow(ms, kTicksPerMillisecond, &ticks))
        return ms < 0 ? kSmallest : kLargest;
    return ticks;
}

std::int64_t player_time(std::uint64_t stored_ms, std::uint64_t preroll_ms) {
    const auto clamp = [](std::uint64_t v) {
        return static_cast<std::int64_t>(std::min<std::uint64_t>(v, kLargest));
    };
    return stored_ms >= preroll_ms ? clamp(stored_ms - preroll_ms) : -clamp(preroll_ms - stored_ms);
}

std::optional<std::uint64_t> bitrate(std::uint64_t bytes, std::int64_t ticks) {
    if (ticks <= 0)
        return std::nullopt;
    const double rate = static_cast<double>(bytes) * 8 * static_cast<double>(kTicksPerSecond) /
                        static_cast<double>(ticks);
    constexpr auto kMost = static_cast<double>(std::numeric_limits<std::uint64_t>::max());
    return rate >= kMost ? std::numeric_limits<std::uint64_t>::max()
                         : static_cast<std::uint64_t>(rate + 0.5);
}

std::optional<std::uint64_t> declared_duration(const decode::FilePropertiesFacts& fp) {
    if (!fp.present || fp.broadcast())
        return std::nullopt;
    const std::uint64_t preroll = io::saturating_multiply(fp.preroll, kTicksPerMillisecond);
    return fp.play_duration > preroll ? fp.play_duration - preroll : 0;
}

std::optional<std::uint32_t> declared_maximum_bitrate(const decode::FilePropertiesFacts& fp) {
    if (!fp.present || fp.maximum_bitrate == 0 || fp.maximum_bitrate == kUnknownBitrate)
        return std::nullopt;
    return fp.maximum_bitrate;
}

bool plausible_frame_time(std::uint64_t ticks) {
    return ticks != 0 && ticks <= kLongestFrame;
}

// ---------------------------------------------------------------------------

void MostFrequent::add(std::uint32_t value) {
    Slot* least = &slots_[0];
    // Each pass looks at one slot in use, for this value or the least counted.
    for (std::size_t i = 0; i < used_; ++i) {
        if (slots_[i].value == value) {
            ++slots_[i].count;
            return;
        }
        if (slots_[i].count < least->count)
            least = &slots_[i];
    }
    if (used_ < kSlots) {
        slots_[used_++] = {value, 1};
        return;
    }
    *least = {value, least->count + 1};
}

std::uint32_t MostFrequent::most_frequent() const {
    const Slot* most = nullptr;
    for (std::size_t i = 0; i < used_; ++i) {
        if (most == nullptr || slots_[i].count > most->count ||
            (slots_[i].count == most->count && slots_[i].value < most->value)) {
            most = &slots_[i];
        }
    }
    return most != nullptr ? most->value : 0;
}

// ---------------------------------------------------------------------------

void BusiestWindow::add(std::int64_t ticks, std::uint64_t bytes) {
    total_ = io::saturating_add(total_, bytes);
    const std::int64_t index = window_of(ticks);
    // A byte later than the model of delivery allows joins the nearest
    // window still held.
    if (!tail_.empty() && index <= tail_.back().first) {
        Window& into = index <= head_.back().first ? head_.front() : tail_.back();
        into.second = io::saturating_add(into.second, bytes);
        return;
    }
    if (tail_.empty() && !head_.empty() && index <= head_.back().first) {
        Window& into = index <= head_.front().first ? head_.front() : head_.back();
        into.second = io::saturating_add(into.second, bytes);
        return;
    }
    std::uint64_t& held = open_[index];
    held = io::saturating_add(held, bytes);
}

std::int64_t BusiestWindow::window_of(std::int64_t ticks) {
    return floor_div(ticks, kWindow);
}

void BusiestWindow::settle_below(std::int64_t below) {
    // Each pass settles the earliest open window, while it is below `below`.
    while (!open_.empty() && open_.begin()->first < below) {
        const Window w = *open_.begin();
        open_.erase(open_.begin());
        if (head_.size() < 2) {
            head_.push_back(w);
            continue;
        }
        tail_.push_back(w);
        if (tail_.size() > 2) {
            folded_most_ = std::max(folded_most_, tail_.front().second);
            tail_.erase(tail_.begin());
        }
    }
}

std::uint64_t BusiestWindow::bytes_of(std::int64_t index) const {
    for (const std::vector<Window>* held : {&head_, &tail_}) {
        for (const Window& w : *held) {
            if (w.first == index)
                return w.second;
        }
    }
    const auto open = open_.find(index);
    return open != open_.end() ? open->second : 0;
}

std::optional<std::uint64_t> BusiestWindow::busiest(std::int64_t first, std::int64_t end) const {
    const std::int64_t length = io::saturating_subtract(end, first);
    if (length <= kWindow)
        return bitrate(total_, length);
    // The pieces at the edges: the first two windows and the last two.
    struct Piece {
        std::int64_t index;
        std::uint64_t bytes;
        std::int64_t ticks;
    };
    const std::int64_t first_index = floor_div(first, kWindow);
    const std::int64_t last_index = floor_div(end - 1, kWindow);
    const auto piece = [&](std::int64_t index) {
        const std::int64_t from = std::max(first, io::saturating_multiply_signed(index, kWindow));
        const std::int64_t to = std::min(end, io::saturating_multiply_signed(index + 1, kWindow));
        return Piece{index, bytes_of(index), to - from};
    };
    std::vector<Piece> edges;
    for (const std::int64_t index : {first_index, first_index + 1, last_index - 1, last_index}) {
        if (index >= first_index && index <= last_index &&
            (edges.empty() || edges.back().index < index)) {
            edges.push_back(piece(index));
        }
    }
    // A short piece at an edge joins its neighbour.
    if (edges.size() > 1 && edges.front().ticks < kWindow / 2) {
        edges[1].bytes = io::saturating_add(edges[1].bytes, edges.front().bytes);
        edges[1].ticks += edges.front().ticks;
        edges.erase(edges.begin());
    }
    if (edges.size() > 1 && edges.back().ticks < kWindow / 2) {
        Piece& before = edges[edges.size() - 2];
        before.bytes = io::saturating_add(before.bytes, edges.back().bytes);
        before.ticks += edges.back().ticks;
        edges.pop_back();
    }
    std::uint64_t most = bitrate(folded_most_, kWindow).value_or(0);
    for (const Piece& p : edges)
        most = std::max(most, bitrate(p.bytes, p.ticks).value_or(0));
    // The full windows between the edges.
    const auto interior = [&](std::int64_t index) {
        return index > first_index + 1 && index < last_index - 1;
    };
    for (const std::vector<Window>* held : {&head_, &tail_}) {
        for (const Window& w : *held) {
            if (interior(w.first))
                most = std::max(most, bitrate(w.second, kWindow).value_or(0));
        }
    }
    for (const auto& [index, bytes] : open_) {
        if (interior(index))
            most = std::max(most, bitrate(bytes, kWindow).value_or(0));
    }
    return most;
}

// ---------------------------------------------------------------------------

void StreamMeasure::add(const decode::MediaObject& m) {
    const std::uint32_t time = m.presentation_time;
    sizes_.add(m.size);
    if (objects_ == 0) {
        first_ = last_ = previous_ = time;
        last_duration_ = m.duration;
        last_size_ = m.size;
    } else {
        if (time > previous_)
            spacing_.add(time - previous_);
        if (time >= last_) {
            last_ = time;
            last_duration_ = m.duration;
            last_size_ = m.size;
        }
        first_ = std::min(first_, time);
        previous_ = time;
    }
    if (m.key_frame) {
        if (key_frames_ != 0 && time > last_key_)
            longest_key_interval_ = std::max(longest_key_interval_, time - last_key_);
        if (key_frames_ == 0 || time > last_key_)
            last_key_ = time;
        ++key_frames_;
    }
    ++objects_;
    bytes_ = io::saturating_add(bytes_, std::uint64_t{m.size});
}

std::int64_t StreamMeasure::end(const decode::StreamFacts& stream) const {
    std::int64_t length = ticks_of_ms(spacing_.most_frequent());
    const std::uint32_t usual_size = sizes_.most_frequent();
    if (stream.kind == decode::StreamKind::audio && last_size_ < usual_size)
        length = length / usual_size * last_size_ + length % usual_size * last_size_ / usual_size;
    if (last_duration_ != 0) {
        length = ticks_of_ms(last_duration_);
    } else if (stream.kind == decode::StreamKind::video && stream.extended &&
               plausible_frame_time(stream.extended_properties.average_time_per_frame)) {
        length = static_cast<std::int64_t>(stream.extended_properties.average_time_per_frame);
    }
    return ticks_of_ms(last_) + length;
}

}  // namespace asfinspect::answers

#include "answers/timeline.hpp"

#include <algorithm>

#include "answers/measures.hpp"
#include "io/saturating.hpp"

namespace asfinspect::answers {

void StreamSpan::merge(const StreamSpan& o) {
    bytes += o.bytes;
    media_objects += o.media_objects;
    key_frames += o.key_frames;
    bucket_max = std::max(bucket_max, o.bucket_max);
    bucket_limit = std::max(bucket_limit, o.bucket_limit);
    if (o.led) {
        lead_min = led ? std::min(lead_min, o.lead_min) : o.lead_min;
        lead_max = led ? std::max(lead_max, o.lead_max) : o.lead_max;
        led = true;
    }
}

StreamSpan& Span::stream(std::uint8_t number) {
    const auto at =
        std::lower_bound(streams.begin(), streams.end(), number,
                         [](const StreamSpan& s, std::uint8_t n) { return s.stream < n; });
    if (at != streams.end() && at->stream == number)
        return *at;
    StreamSpan fresh;
    fresh.stream = number;
    return *streams.insert(at, fresh);
}

void Span::merge(const Span& o) {
    start = std::min(start, o.start);
    end = std::max(end, o.end);
    packets += o.packets;
    payload_bytes += o.payload_bytes;
    padding += o.padding;
    if (first_offset < 0 || (o.first_offset >= 0 && o.first_offset < first_offset))
        first_offset = o.first_offset;
    for (const StreamSpan& s : o.streams)
        stream(s.stream).merge(s);
}

Timeline::Timeline(std::uint64_t interval_ms, Sink sink)
    : interval_(std::max<std::uint64_t>(interval_ms, 1)), sink_(std::move(sink)) {}

void Timeline::start(std::uint64_t preroll_ms, std::uint64_t buffer_ms) {
    preroll_ = preroll_ms;
    horizon_ = io::saturating_add(io::saturating_add(preroll_, buffer_ms), interval_);
}

Span* Timeline::at(std::uint64_t ms, Last& last) {
    const std::uint64_t n = ms / interval_;
    if (last.span != nullptr && n == last.number)
        return last.span;
    if (n < next_)
        return nullptr;
    const auto [it, added] = open_.try_emplace(n);
    if (added) {
        it->second.start = n * interval_;
        it->second.end = io::saturating_add(it->second.start, interval_);
        if (open_.size() > kMaxOpen)
            give_first();
    }
    // The one given early may be this one.
    if (n < next_)
        return nullptr;
    last = {&it->second, n};
    return last.span;
}

void Timeline::give_first() {
    last_sent_ = {};
    last_presented_ = {};
    const auto first = open_.begin();
    next_ = first->first + 1;
    sink_(first->second);
    open_.erase(first);
}

void Timeline::give_through(std::uint64_t send_time) {
    // Each pass gives the earliest interval, while the send time is past it.
    while (!open_.empty() && io::saturating_add(open_.begin()->second.end, horizon_) <= send_time)
        give_first();
}

void Timeline::packet(const decode::SentPacket& p) {
    give_through(p.send_time);
    if (Span* span = at(p.send_time, last_sent_)) {
        if (span->packets++ == 0 || p.offset < span->first_offset)
            span->first_offset = p.offset;
        span->padding += p.padding;
    }
}

void Timeline::payload(const decode::SentPayload& p) {
    Span* span = at(p.send_time, last_sent_);
    if (span == nullptr)
        return;
    span->payload_bytes += p.bytes;
    StreamSpan& s = span->stream(p.stream);
    s.bytes += p.bytes;
    s.bucket_max = std::max(s.bucket_max, p.bucket_fullness);
    s.bucket_limit = p.bucket_limit;
    if (p.timed) {
        const std::int64_t lead =
            static_cast<std::int64_t>(p.presentation_time) - static_cast<std::int64_t>(p.send_time);
        s.lead_min = s.led ? std::min(s.lead_min, lead) : lead;
        s.lead_max = s.led ? std::max(s.lead_max, lead) : lead;
        s.led = true;
    }
}

void Timeline::media_object(const decode::MediaObject& m) {
    const std::int64_t shown = player_time(m.presentation_time, preroll_);
    Span* span = at(static_cast<std::uint64_t>(std::max<std::int64_t>(shown, 0)), last_presented_);
    if (span == nullptr) {
        ++unplaced_;
        return;
    }
    StreamSpan& s = span->stream(m.stream);
    ++s.media_objects;
    if (m.key_frame)
        ++s.key_frames;
}

void Timeline::finish(std::uint64_t end_ms) {
    if (!open_.empty()) {
        Span& last = std::prev(open_.end())->second;
        if (last.end > end_ms && end_ms > last.start)
            last.end = end_ms;
    }
    // Each pass gives one interval, until none is left.
    while (!open_.empty())
        give_first();
}

}  // namespace asfinspect::answers

#include "decode/packets/delivery.hpp"

#include <algorithm>
#include <cstdio>

#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/saturating.hpp"

namespace asfinspect::decode {

namespace {

constexpr std::uint64_t kMillibitsPerByte = 8000;

// "41.2 s" of a time in ms.
std::string seconds_text(std::uint64_t ms) {
    return message(ms / 1000, ".", (ms % 1000) / 100, " s");
}

// "12 %", "0.4 %" or "under 0.1 %" of `part` over `whole` (> 0); for the
// message only, so a double is enough.
std::string percent_text(std::uint64_t part, std::uint64_t whole) {
    const double percent = 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    if (percent < 0.1)
        return "under 0.1 %";
    char text[32];
    std::snprintf(text, sizeof text, percent < 10 ? "%.1f %%" : "%.0f %%", percent);
    return text;
}

}  // namespace

LeakyBucket::LeakyBucket(std::uint32_t rate, std::uint32_t buffer_ms, std::uint32_t initial_ms,
                         std::uint64_t start)
    : rate_(rate),
      limit_(io::saturating_multiply(std::uint64_t{buffer_ms} + 1, rate)),
      fullness_(io::saturating_multiply(initial_ms, rate)),
      clock_(start) {}

std::uint64_t LeakyBucket::add(std::uint64_t send_time, std::uint64_t bytes) {
    // A send time below the last one (a `send-time` error) drains nothing.
    if (send_time > clock_) {
        const std::uint64_t drained = io::saturating_multiply(send_time - clock_, rate_);
        fullness_ -= std::min(fullness_, drained);
        clock_ = send_time;
    }
    fullness_ = io::saturating_add(fullness_, io::saturating_multiply(bytes, kMillibitsPerByte));
    return fullness_;
}

DeliveryTracker::DeliveryTracker(Context& decoder, bool active)
    : decoder_(decoder), view_(decoder.view()), active_(active) {}

void DeliveryTracker::packet(const Packet& packet) {
    if (!active_ || !packet.header_whole)
        return;
    if (!clock_started_) {
        clock_started_ = true;
        first_send_time_ = packet.header.send_time;
    }
    SentPacket sent;
    sent.index = packet.index;
    sent.offset = packet.offset;
    sent.send_time = packet.header.send_time;
    if (packet.area_valid && packet.payloads_whole) {
        const std::int64_t end = std::min(packet.offset + packet.size, packet.limit);
        sent.padding =
            static_cast<std::uint64_t>(std::max<std::int64_t>(end - packet.payloads_end, 0));
    }
    view_.packet_sent(sent);
}

void DeliveryTracker::start(std::uint8_t number, Stream& s) {
    s.started = true;
    const StreamFacts& facts = decoder_.facts().streams[number];
    // A Buffer Size of 0 holds nothing: muxers that don't model the bucket
    // (GStreamer's) write it so, and it declares none.
    if (facts.extended && facts.buffer_size != 0) {
        s.bucket = LeakyBucket(facts.extended_properties.data_bitrate, facts.buffer_size,
                               facts.extended_properties.initial_fullness, first_send_time_);
    }
}

void DeliveryTracker::payload(const Packet& packet, const Payload& p) {
    if (!active_ || !packet.header_whole)
        return;
    Stream& s = streams_[p.stream];
    if (!s.started)
        start(p.stream, s);
    SentPayload sent;
    sent.stream = p.stream;
    sent.offset = p.offset;
    sent.send_time = packet.header.send_time;
    sent.bytes = p.payload_length;
    sent.timed = p.has_object_fields || p.compressed;
    sent.presentation_time = p.compressed ? p.offset_into_media_object : p.presentation_time;
    if (s.bucket.declared()) {
        sent.bucket_fullness = s.bucket.add(sent.send_time, sent.bytes);
        sent.bucket_limit = s.bucket.limit();
        if (sent.bucket_fullness > sent.bucket_limit &&
            sent.bucket_fullness - sent.bucket_limit > s.overflow) {
            s.overflow = sent.bucket_fullness - sent.bucket_limit;
            s.overflow_at = p.offset;
            s.overflow_time = sent.send_time;
        }
    }
    if (sent.timed && sent.send_time > sent.presentation_time) {
        const std::uint64_t lateness = sent.send_time - sent.presentation_time;
        if (s.late++ == 0 || lateness > s.lateness) {
            s.lateness = lateness;
            s.late_at = p.offset;
            s.late_send_time = sent.send_time;
        }
    }
    view_.payload_sent(sent);
}

void DeliveryTracker::report_overflow(std::uint8_t number, const Stream& s) {
    const StreamFacts& facts = decoder_.facts().streams[number];
    const std::uint64_t bits = (s.overflow + 999) / 1000;
    decoder_.report(
        s.overflow_at, Severity::warning, codes::kLeakyBucket,
        message("stream ", number, " overflows its leaky bucket (R ",
                facts.extended_properties.data_bitrate, " bit/s, B ", facts.buffer_size, " ms) by ",
                percent_text(s.overflow, s.bucket.limit()), " (", bits,
                bits == 1 ? " bit" : " bits", ") at ", seconds_text(s.overflow_time),
                " of send time: streamed at its declared rate the data comes late, and a player "
                "that buffers as declared stalls to rebuffer"));
}

void DeliveryTracker::report_late(std::uint8_t number, const Stream& s) {
    decoder_.report(
        s.late_at, Severity::warning, codes::kLatePayload,
        message("stream ", number, " has ", s.late, s.late == 1 ? " payload" : " payloads",
                " sent after its media object's presentation time, the worst ", s.lateness,
                " ms late (sent at ", seconds_text(s.late_send_time),
                "): streamed, it arrives after it is due, and a player drops it or stalls"));
}

void DeliveryTracker::finish() {
    if (!active_)
        return;
    // Each pass reports one stream's findings, in stream order.
    for (std::size_t n = 1; n < kStreamNumbers; ++n) {
        const Stream& s = streams_[n];
        if (s.overflow != 0)
            report_overflow(static_cast<std::uint8_t>(n), s);
        if (s.late != 0)
            report_late(static_cast<std::uint8_t>(n), s);
    }
}

}  // namespace asfinspect::decode

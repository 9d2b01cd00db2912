#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "decode/view.hpp"

namespace asfinspect::answers {

// What one stream did in a span of time: bytes sent, media objects and key
// frames presented, its leaky bucket at its fullest, and the least lead of a
// payload's presentation time over its send time.
struct StreamSpan {
    std::uint8_t stream = 0;
    std::uint64_t bytes = 0;
    std::uint64_t media_objects = 0;
    std::uint64_t key_frames = 0;
    std::uint64_t bucket_max = 0;    // millibits
    std::uint64_t bucket_limit = 0;  // millibits; 0: the stream declares no bucket
    bool led = false;                // a payload with a presentation time was sent
    std::int64_t lead_min = 0;       // ms; below 0 for a payload sent late
    std::int64_t lead_max = 0;

    void merge(const StreamSpan& other);
};

// A span of time, [start, end) ms, and what the file did in it: packets,
// padding and payload bytes sent, and each stream's part (those with any,
// by stream number).
struct Span {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t packets = 0;
    std::uint64_t payload_bytes = 0;
    std::uint64_t padding = 0;
    std::int64_t first_offset = -1;  // of its first packet; -1: none
    std::vector<StreamSpan> streams;

    StreamSpan& stream(std::uint8_t number);
    void merge(const Span& other);
};

// Cuts the delivery of a file into intervals of a fixed length, in one pass
// and with memory that stays flat however long the file.
//
// Bytes, packets and leads count in the interval of their Send Time; media
// objects in that of their presentation time as a player shows it (the
// preroll subtracted), the time axis the send times share. Packets come in
// send order, media objects up to the preroll and a stream's buffer before
// they are presented: an interval is complete, and given to the sink, once
// the send time has passed its end by that much. Only intervals with
// something in them are kept; past kMaxOpen of them the earliest is given
// early. A media object presented in an interval already given (sent later
// than the model allows) is counted in `unplaced` instead.
class Timeline {
  public:
    using Sink = std::function<void(const Span&)>;
    static constexpr std::size_t kMaxOpen = 4096;

    Timeline(std::uint64_t interval_ms, Sink sink);

    // Before the packets: the preroll, and the largest stream buffer.
    void start(std::uint64_t preroll_ms, std::uint64_t buffer_ms);
    void packet(const decode::SentPacket& p);
    void payload(const decode::SentPayload& p);
    void media_object(const decode::MediaObject& m);
    // The end of the delivery, at `end_ms`: every interval left is given,
    // the last one ending there when it would end later, so that its
    // bitrate is over its own length.
    void finish(std::uint64_t end_ms);

    std::uint64_t unplaced() const { return unplaced_; }

  private:
    // The interval last found by a lookup, which most lookups find again.
    struct Last {
        Span* span = nullptr;
        std::uint64_t number = 0;
    };

    // The open interval of time `ms`, or nullptr when it was given already.
    Span* at(std::uint64_t ms, Last& last);
    void give_first();
    void give_through(std::uint64_t send_time);

    std::uint64_t interval_;
    Sink sink_;
    std::uint64_t preroll_ = 0;
    std::uint64_t horizon_ = 0;           // ms after an interval's end until it is complete
    std::map<std::uint64_t, Span> open_;  // by interval number
    std::uint64_t next_ = 0;              // intervals below it were given
    Last last_sent_;                      // by send time
    Last last_presented_;                 // by presentation time
    std::uint64_t unplaced_ = 0;
};

}  // namespace asfinspect::answers

#pragma once

#include <array>
#include <cstdint>

#include "decode/facts.hpp"
#include "decode/packets/packet.hpp"
#include "decode/view.hpp"

namespace asfinspect::decode {

class Context;

// A stream's leaky bucket as its Extended Stream Properties declare it: the
// bytes of each payload enter at its packet's Send Time, the bucket drains at
// Data Bitrate R and starts Initial Buffer Fullness F full. Amounts are in
// millibits, so that every step is exact in integers: R bit/s drains R
// millibits a millisecond, a byte adds 8000, F ms of R are F × R.
class LeakyBucket {
  public:
    LeakyBucket() = default;
    // Its clock starts at `start` ms of send time.
    LeakyBucket(std::uint32_t rate, std::uint32_t buffer_ms, std::uint32_t initial_ms,
                std::uint64_t start);

    bool declared() const { return rate_ != 0; }
    // The bytes sent at `send_time` ms enter; returns the fullness after.
    std::uint64_t add(std::uint64_t send_time, std::uint64_t bytes);
    std::uint64_t fullness() const { return fullness_; }
    // What it may hold: Buffer Size is stored in whole milliseconds, which
    // encoders round down, so one millisecond more of the rate.
    std::uint64_t limit() const { return limit_; }

  private:
    std::uint64_t rate_ = 0;
    std::uint64_t limit_ = 0;
    std::uint64_t fullness_ = 0;
    std::uint64_t clock_ = 0;  // ms
};

// Follows each stream's payloads as they are sent, when every packet is
// decoded in order: tells the view of each packet and payload with its
// stream's bucket, and at the end reports the streams whose bucket overflows
// and those with payloads sent after they are presented, one finding each.
class DeliveryTracker {
  public:
    DeliveryTracker(Context& decoder, bool active);

    void packet(const Packet& packet);
    // A payload of `packet` whose header was read whole.
    void payload(const Packet& packet, const Payload& payload);
    void finish();

  private:
    // The worst of a stream's overflows and late payloads so far.
    struct Stream {
        bool started = false;
        LeakyBucket bucket;
        std::uint64_t overflow = 0;  // millibits over the limit, at its worst
        std::int64_t overflow_at = 0;
        std::uint64_t overflow_time = 0;
        std::uint64_t late = 0;      // payloads
        std::uint64_t lateness = 0;  // ms, at its worst
        std::int64_t late_at = 0;
        std::uint64_t late_send_time = 0;
    };

    void start(std::uint8_t number, Stream& s);
    void report_overflow(std::uint8_t number, const Stream& s);
    void report_late(std::uint8_t number, const Stream& s);

    Context& decoder_;
    View& view_;
    bool active_;
    bool clock_started_ = false;
    std::uint64_t first_send_time_ = 0;  // of the first packet: the buckets' clocks start there
    std::array<Stream, kStreamNumbers> streams_{};
};

}  // namespace asfinspect::decode

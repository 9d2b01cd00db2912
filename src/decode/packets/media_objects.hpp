#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "decode/facts.hpp"
#include "decode/packets/packet.hpp"
#include "decode/view.hpp"

namespace asfinspect::decode {

class Context;

// Builds the media objects of each stream from their fragments, one open
// object per stream, and tells the view of each as it ends. When every packet
// is decoded in order it also checks the fragments: gaps, overlaps, sizes
// that disagree, objects cut off.
class MediaObjectTracker {
  public:
    MediaObjectTracker(Context& decoder, bool check);

    // A payload of `packet` that carries a fragment (its header read whole).
    void fragment(const Packet& packet, const Payload& payload);
    // Sub-payload `index` of a compressed payload, a media object of its own.
    void sub_payload(const Packet& packet, const Payload& payload, std::uint64_t index,
                     std::int64_t at, std::uint8_t length);
    // The end of the data, at `end`: objects still open are cut off.
    void finish(std::int64_t end);
    // Only the media objects of these streams, presented between these
    // times (ms as ASF stores them, both included), are told of.
    void select(const StreamSet& streams, std::pair<std::uint64_t, std::uint64_t> times);

  private:
    struct Open {
        bool open = false;
        std::uint64_t received = 0;
        MediaObject object;
    };

    void start(Open& o, const Packet& packet, const Payload& payload);
    std::uint16_t sample_duration(const Packet& packet, const Payload& payload);
    static void take_bytes(MediaObject& m, const Packet& packet, const Payload& payload);
    void cut_off(Open& o, std::int64_t at, std::string_view by);
    void close(Open& o);
    void tell(const MediaObject& m);

    Context& decoder_;
    View& view_;
    bool check_;
    std::array<Open, kStreamNumbers> open_{};
    bool narrowed_ = false;
    StreamSet streams_;
    std::uint64_t first_time_ = 0;
    std::uint64_t last_time_ = 0;
};

}  // namespace asfinspect::decode

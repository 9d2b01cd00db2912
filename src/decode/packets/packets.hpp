#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decode/context.hpp"
#include "decode/facts.hpp"
#include "decode/packets/delivery.hpp"
#include "decode/packets/media_objects.hpp"
#include "decode/packets/parse.hpp"

namespace asfinspect::decode {

// Decodes the data packets of the Data Object whose head the decoder has just
// read (facts().data): finds where they are, reads those the options select,
// shows them, and checks each packet against itself and, when every packet
// is decoded, the packets against each other (send times, the fragments of
// each media object, and their delivery when streamed).
class PacketDecoder {
  public:
    explicit PacketDecoder(Context& decoder);

    // Returns where the packets end.
    std::int64_t decode_all();

  private:
    // Presentation times of the selection as ASF stores them (the preroll
    // included), both ends included.
    struct StoredTimes {
        std::uint64_t first = 0;
        std::uint64_t last = 0;
    };

    std::uint64_t locate_packets();
    // The first packet that can carry a media object of the time selection.
    std::uint64_t first_packet_of_time(std::uint64_t n);
    std::uint64_t send_time_of(std::uint64_t index);
    // Whether the packet carries a payload of the selection.
    bool carries_selection(const Packet& packet);
    bool selected(const Payload& payload);
    std::uint64_t count_packets_by_scanning();
    std::string where_packet_breaks(std::uint64_t index, std::int64_t offset);
    void end_before_zeros();
    void report_zeros(std::int64_t from, std::int64_t to);
    void check_duration();
    bool top_level_object_at(std::int64_t at);
    // False once the packets are past the time selection.
    bool decode_packet(std::uint64_t index, std::int64_t offset);
    void decode_payload(const Packet& packet, const Payload& payload);
    void walk_sub_payloads(const Packet& packet, const Payload& payload);
    void report_problems(const Packet& packet, PacketProblem::Place place,
                         std::uint32_t payload = 0);
    void check_send_time(const Packet& packet);
    void check_payload(const Payload& payload);
    void problem(std::int64_t offset, Severity severity, std::string_view code,
                 std::string_view text);

    Context& decoder_;
    io::FileReader& file_;
    View& view_;
    Facts& facts_;
    bool show_;            // report fields to the view
    bool check_sequence_;  // every packet is decoded, in order
    const Selection& selection_;
    bool narrowed_;  // the selection leaves out streams or times
    StoredTimes times_;
    PacketParser parser_;
    MediaObjectTracker media_objects_;
    DeliveryTracker delivery_;
    bool have_send_time_ = false;
    std::uint64_t last_send_time_ = 0;
    std::array<bool, kStreamNumbers> undeclared_reported_{};
    // The file ends inside the data: said once, where the packets are found.
    bool cut_ = false;
    // The end of the zero bytes after the last packet, when they were found.
    std::int64_t zeros_end_ = 0;
    // Packets whose payloads end before the padding with zero bytes.
    std::uint64_t zero_filled_packets_ = 0;
    std::int64_t first_zero_filled_ = 0;
};

}  // namespace asfinspect::decode

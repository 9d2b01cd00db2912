#pragma once

#include <array>
#include <cstdint>

#include "decode/decoder.hpp"
#include "decode/facts.hpp"

namespace asfinspect::decode {

// Decodes the data packets of the Data Object whose head the decoder has just
// read (facts().data), by ASF's rules: error correction of any length or
// none, every length type, explicit and implicit padding, single and multiple
// payloads, replicated data with its payload extensions, compressed payloads
// and their sub-payloads. Checks each packet against itself and, when every
// packet is decoded, the packets against each other (send times, and the
// fragments of each media object).
class PacketDecoder {
  public:
    explicit PacketDecoder(Decoder& decoder);
    // Reads the packets through `file`, a reader of the decoder's file.
    PacketDecoder(Decoder& decoder, io::FileReader& file);

    // Finds where the packets are, decodes those the options select and
    // returns where the packets end.
    std::int64_t decode_all();

    // The streams a key frame of which starts in packet `index`; reports
    // nothing.
    StreamSet key_frame_starts(std::uint64_t index);

  private:
    struct Header;
    struct Payload;
    struct MediaObject {
        bool open = false;
        std::uint32_t number = 0;
        std::uint32_t size = 0;
        std::uint64_t received = 0;
    };

    std::uint64_t locate_packets();
    std::uint64_t count_packets_by_scanning();
    bool top_level_object_at(std::int64_t at);
    void decode_packet(std::uint64_t index, std::int64_t offset);
    bool read_header(Header& h);
    void show_header(const Header& h);
    bool read_payload(const Header& h, std::uint32_t index, std::int64_t area_end, Payload& p);
    void read_extensions(const Payload& p, std::int64_t start, std::uint32_t length);
    void walk_sub_payloads(const Payload& p, std::int64_t end);
    void check_payload(const Payload& p);
    void check_media_object(const Payload& p);
    void finish();

    // Reads an unsigned field of `width` bytes at the cursor, within the packet.
    bool read(int width, std::uint64_t& v);
    void problem(std::int64_t offset, Severity severity, std::string_view code,
                 std::string_view text);

    Decoder& decoder_;
    io::FileReader& file_;
    View& view_;
    Facts& facts_;
    bool show_;            // report fields to the view
    bool quiet_ = false;   // report nothing: probing for key frames
    bool check_sequence_;  // every packet is decoded, in order
    std::int64_t cursor_ = 0;
    std::int64_t limit_ = 0;  // the packet's end, or the file's
    bool cut_ = false;        // a read ran into the limit
    StreamSet probe_hits_;
    bool have_send_time_ = false;
    std::uint32_t last_send_time_ = 0;
    std::array<MediaObject, kStreamNumbers> objects_{};
    std::array<bool, kStreamNumbers> undeclared_reported_{};
};

}  // namespace asfinspect::decode

#pragma once

#include <cstdint>

#include "decode/facts.hpp"
#include "decode/packets/packet.hpp"
#include "io/cursor.hpp"
#include "io/file_reader.hpp"

namespace asfinspect::decode {

// Reads data packets into Packet values by ASF's rules: error correction of
// any length or none, every length type, explicit and implicit padding,
// single and multiple payloads, replicated data with the payload extensions
// the streams declare. It shows and reports nothing; what is wrong with a
// packet is in its problems.
class PacketParser {
  public:
    PacketParser(io::FileReader& file, const Facts& facts) : file_(file), facts_(facts) {}

    // Packet `index` at `offset`, of the size facts().data gives; valid until
    // the next parse.
    const Packet& parse(std::uint64_t index, std::int64_t offset);

  private:
    bool read_header();
    void find_payload_area();
    void read_payloads();
    bool read_payload(std::uint32_t index, Payload& p);
    void read_extensions(Payload& p, std::int64_t start, std::uint64_t length);

    void problem(PacketProblem::Place place, std::uint32_t payload, std::int64_t offset,
                 Severity severity, std::string_view code, std::string message);
    // Reads an unsigned field of `width` bytes; false once the packet (or the
    // payload area) ends before it.
    bool read(int width, std::uint64_t& v);

    io::FileReader& file_;
    const Facts& facts_;
    Packet packet_;
    io::Cursor cursor_{file_, 0, 0};
    std::int64_t next_payload_ = 0;
};

// The streams a packet holds something of, for the index checks: a payload;
// the start of a media object; the start of a key frame (a payload with the
// key-frame bit that begins its media object).
struct PacketStreams {
    StreamSet payloads;
    StreamSet object_starts;
    StreamSet key_frame_starts;
};
PacketStreams streams_in(const Packet& packet);

}  // namespace asfinspect::decode

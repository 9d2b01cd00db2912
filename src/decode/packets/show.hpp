#pragma once

#include "decode/facts.hpp"
#include "decode/packets/packet.hpp"
#include "decode/view.hpp"
#include "io/file_reader.hpp"

namespace asfinspect::decode {

// The fields of a packet's header, for a view.
void show_packet_header(View& view, io::FileReader& file, const Packet& packet);

// The fields of a payload, as far as its header was read, with its payload
// extension data.
void show_payload(View& view, io::FileReader& file, const Packet& packet, const Payload& payload,
                  const StreamFacts& stream);

// One sub-payload of a compressed payload, `index` from 0.
void show_sub_payload(View& view, const Payload& payload, std::uint64_t index, std::int64_t at,
                      std::uint8_t length);

}  // namespace asfinspect::decode

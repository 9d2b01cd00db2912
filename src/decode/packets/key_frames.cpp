#include "decode/packets/key_frames.hpp"

#include <algorithm>
#include <bit>

#include "decode/decoder.hpp"

namespace asfinspect::decode {

KeyFrameProbe::KeyFrameProbe(Decoder& decoder)
    : data_(decoder.facts().data),
      file_(decoder.file(), kProbeBlockSize, kProbeBlocks),
      parser_(file_, decoder.facts()) {}

StreamSet KeyFrameProbe::starts(std::uint64_t index) {
    if (index >= data_.packets)
        return {};
    // Made at the first probe, as large as the packets need up to the bound;
    // made anew for a second Data Object.
    if (data_offset_ != data_.offset) {
        data_offset_ = data_.offset;
        remembered_.assign(std::bit_ceil(static_cast<std::size_t>(
                               std::min<std::uint64_t>(data_.packets, kRememberedPackets))),
                           {});
    }
    // The size is a power of two.
    Remembered& slot = remembered_[static_cast<std::size_t>(index & (remembered_.size() - 1))];
    if (slot.packet_plus_one != index + 1)
        slot = {index + 1, key_frame_starts(parser_.parse(
                               index, data_.first_packet +
                                          static_cast<std::int64_t>(index * data_.packet_size)))};
    return slot.streams;
}

}  // namespace asfinspect::decode

#include "decode/packets/key_frames.hpp"

#include <algorithm>
#include <bit>

#include "decode/context.hpp"

namespace asfinspect::decode {

KeyFrameProbe::KeyFrameProbe(Context& decoder)
    : data_(decoder.facts().data),
      file_(decoder.file(), kProbeBlockSize, kProbeBlocks),
      parser_(file_, decoder.facts()) {}

PacketStreams KeyFrameProbe::streams(std::uint64_t index) {
    if (index >= data_.packets)
        return {};
    // Made anew for a second Data Object.
    if (data_offset_ != data_.offset) {
        data_offset_ = data_.offset;
        remembered_.assign(kFirstRemembered, {});
        probed_ = 0;
    }
    Remembered* slot = &slot_of(index);
    if (slot->packet_plus_one == index + 1)
        return slot->streams;
    // The memory grows with the packets probed, up to its bound and the
    // packets there are: an index of a few entries costs a few slots.
    const std::size_t most = std::bit_ceil(
        static_cast<std::size_t>(std::min<std::uint64_t>(data_.packets, kRememberedPackets)));
    if (++probed_ > remembered_.size() / 2 && remembered_.size() < most) {
        grow(std::min(remembered_.size() * 4, most));
        slot = &slot_of(index);
    }
    *slot = {index + 1,
             streams_in(parser_.parse(index, data_.first_packet + static_cast<std::int64_t>(
                                                                      index * data_.packet_size)))};
    return slot->streams;
}

KeyFrameProbe::Remembered& KeyFrameProbe::slot_of(std::uint64_t index) {
    // The size is a power of two.
    return remembered_[static_cast<std::size_t>(index & (remembered_.size() - 1))];
}

void KeyFrameProbe::grow(std::size_t size) {
    std::vector<Remembered> old(size);
    old.swap(remembered_);
    for (const Remembered& r : old) {
        if (r.packet_plus_one != 0)
            slot_of(r.packet_plus_one - 1) = r;
    }
}

}  // namespace asfinspect::decode

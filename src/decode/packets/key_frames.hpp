#pragma once

#include <cstdint>
#include <vector>

#include "decode/facts.hpp"
#include "decode/packets/parse.hpp"
#include "io/file_reader.hpp"

namespace asfinspect::decode {

class Context;

// Finds what of each stream the data packets that index entries point at
// hold (payloads, starts of media objects and of key frames), for the whole
// decode. A packet is probed once for all its
// streams, and the result is remembered; the probes read through a reader of
// their own, whose blocks stay in place while the index objects are read.
// However the entries scatter, memory stays within kRememberedPackets results
// and kProbeBlocks blocks of the file.
class KeyFrameProbe {
  public:
    explicit KeyFrameProbe(Context& decoder);

    // What packet `index` of the Data Object that facts().data describes
    // holds of each stream.
    PacketStreams streams(std::uint64_t index);
    // Asks for what is remembered of packet `index` to be fetched into the
    // processor's cache, ahead of streams(index).
    void prefetch(std::uint64_t index) const {
        if (!remembered_.empty())
            __builtin_prefetch(
                &remembered_[static_cast<std::size_t>(index & (remembered_.size() - 1))]);
    }

  private:
    struct Remembered {
        std::uint64_t packet_plus_one = 0;  // 0: nothing remembered
        PacketStreams streams;
    };

    Remembered& slot_of(std::uint64_t index);
    void grow(std::size_t size);

    static constexpr std::size_t kFirstRemembered = 256;
    static constexpr std::size_t kRememberedPackets = std::size_t{1} << 15;
    // Tiny packets hold little that would be worth remembering as results, so
    // the bytes of the file are kept too: 6 MiB in blocks of a page.
    static constexpr std::size_t kProbeBlockSize = 4096;
    static constexpr std::size_t kProbeBlocks = 1536;

    const DataFacts& data_;
    io::FileReader file_;
    PacketParser parser_;
    std::int64_t data_offset_ = -1;       // of the Data Object whose results are remembered
    std::vector<Remembered> remembered_;  // direct-mapped by packet number
    std::size_t probed_ = 0;              // packets probed into it
};

}  // namespace asfinspect::decode

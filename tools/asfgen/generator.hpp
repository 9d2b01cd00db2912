#pragma once

// A generator of large, well-formed ASF files for benchmarks and tests: a
// header object (file properties, an empty header extension, an audio and a
// video stream), then a data object of standard-form packets that mix
// single-fragment and grouped payloads of both streams, with padding; every
// media object is whole within the data. The output depends only on the
// layout, so the same arguments always give the same bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace asfgen {

inline constexpr std::uint32_t kDefaultPacketSize = 3200;
// Room for a packet header, a grouped audio payload and a video fragment.
inline constexpr std::uint32_t kMinPacketSize = 512;
// Payload lengths and padding are 16-bit fields.
inline constexpr std::uint32_t kMaxPacketSize = 65535;

// Sizes and offsets of a file to generate; 64-bit throughout, as files of
// several GiB are the point.
struct Layout {
    std::uint32_t packet_size = kDefaultPacketSize;
    std::uint64_t packets = 0;
    std::uint64_t header_object_size = 0;
    std::uint64_t first_packet_offset = 0;
    std::uint64_t file_size = 0;
};

// The largest file of whole packets that is not above `max_file_size`;
// nothing when the packet size is out of range or not even one packet fits.
std::optional<Layout> plan_file(std::uint64_t max_file_size,
                                std::uint32_t packet_size = kDefaultPacketSize);

// Where the bytes go: appended in file order, and the header object written
// again at offset 0 once the durations are known (same length).
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void append(std::span<const std::uint8_t> bytes) = 0;
    virtual void rewrite_start(std::span<const std::uint8_t> bytes) = 0;
    // True once a write has failed: the generator stops early.
    virtual bool failed() const { return false; }
};

class MemorySink : public ByteSink {
  public:
    void append(std::span<const std::uint8_t> bytes) override;
    void rewrite_start(std::span<const std::uint8_t> bytes) override;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// What the packets hold, for the file-properties object and the caller.
struct Summary {
    std::uint64_t payloads = 0;
    std::uint64_t grouped_payloads = 0;
    std::uint64_t sub_payloads = 0;
    std::uint64_t play_duration_ms = 0;  // the preroll included
    std::uint64_t send_duration_ms = 0;
};

Summary generate(const Layout& layout, ByteSink& sink);

}  // namespace asfgen

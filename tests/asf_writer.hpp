#pragma once

// A small writer of ASF bytes for tests: objects, header objects, the
// file-properties and stream-properties payloads, data packets and payloads.
// Each test assembles exactly the bytes it is about.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "dump/dump.hpp"
#include "dump/object_ids.hpp"
#include "io/file_reader.hpp"
#include "io/output.hpp"

namespace asftest {

using Bytes = std::vector<std::uint8_t>;
using asfinspect::asf::Guid;

inline void put8(Bytes& b, std::uint64_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
}
inline void put16(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 2; ++i)
        put8(b, v >> (8 * i));
}
inline void put32(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 4; ++i)
        put8(b, v >> (8 * i));
}
inline void put64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        put8(b, v >> (8 * i));
}
inline void put(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}
inline void put(Bytes& b, const Guid& g) {
    b.insert(b.end(), g.bytes.begin(), g.bytes.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        put(all, p);
    return all;
}

inline const Guid& guid_of(asfinspect::dump::ObjectKind kind) {
    for (const auto& e : asfinspect::dump::kObjectGuids) {
        if (e.kind == kind)
            return e.guid;
    }
    std::abort();
}

// An object whose size field says `size`, whatever the payload's real length.
inline Bytes object_with_size(const Guid& guid, std::int64_t size, const Bytes& payload = {}) {
    Bytes b;
    put(b, guid);
    put64(b, static_cast<std::uint64_t>(size));
    put(b, payload);
    return b;
}

inline Bytes object(const Guid& guid, const Bytes& payload = {}) {
    return object_with_size(guid, static_cast<std::int64_t>(payload.size() + 24), payload);
}

inline Bytes object(asfinspect::dump::ObjectKind kind, const Bytes& payload = {}) {
    return object(guid_of(kind), payload);
}

inline Bytes header_object(std::initializer_list<Bytes> children) {
    Bytes payload;
    put32(payload, children.size());
    put16(payload, 0x0201);  // reserved bytes
    for (const auto& c : children)
        put(payload, c);
    return object(asfinspect::dump::ObjectKind::header, payload);
}

struct FileProps {
    std::int64_t file_size = 0;
    std::int64_t creation_date = 0;  // 100 ns since 1601
    std::int64_t packets = 0;
    std::int64_t play_duration = 0;
    std::int64_t send_duration = 0;
    std::uint64_t preroll = 0;
    std::uint32_t flags = 2;
    std::uint32_t min_packet = 0;
    std::uint32_t max_packet = 0;
    std::uint32_t max_bitrate = 0;
};

inline Bytes file_properties_payload(const FileProps& p) {
    Bytes b(16, 0xf1);  // File ID
    put64(b, static_cast<std::uint64_t>(p.file_size));
    put64(b, static_cast<std::uint64_t>(p.creation_date));
    put64(b, static_cast<std::uint64_t>(p.packets));
    put64(b, static_cast<std::uint64_t>(p.play_duration));
    put64(b, static_cast<std::uint64_t>(p.send_duration));
    put64(b, p.preroll);
    put32(b, p.flags);
    put32(b, p.min_packet);
    put32(b, p.max_packet);
    put32(b, p.max_bitrate);
    return b;
}

inline Bytes file_properties(const FileProps& p) {
    return object(asfinspect::dump::ObjectKind::file_properties, file_properties_payload(p));
}

struct StreamProps {
    Guid type = asfinspect::asf::guids::kAudioMedia;
    Guid error_correction = asfinspect::asf::guids::kNoErrorCorrection;
    std::int64_t time_offset = 0;
    std::uint16_t flags = 1;  // stream number in bits 0-6
    std::uint32_t reserved = 0;
    Bytes type_specific{};
    Bytes error_correction_data{};
};

inline Bytes stream_properties_payload(const StreamProps& s) {
    Bytes b;
    put(b, s.type);
    put(b, s.error_correction);
    put64(b, static_cast<std::uint64_t>(s.time_offset));
    put32(b, s.type_specific.size());
    put32(b, s.error_correction_data.size());
    put16(b, s.flags);
    put32(b, s.reserved);
    put(b, s.type_specific);
    put(b, s.error_correction_data);
    return b;
}

inline Bytes stream_properties(const StreamProps& s) {
    return object(asfinspect::dump::ObjectKind::stream_properties, stream_properties_payload(s));
}

// WAVEFORMATEX of 18 + cb_size bytes (the extra bytes zero).
inline Bytes waveformatex(std::uint16_t format_tag, std::int16_t cb_size) {
    Bytes b;
    put16(b, format_tag);
    put16(b, 2);      // channels
    put32(b, 44100);  // sample rate
    put32(b, 16000);  // bytes per second
    put16(b, 0x0800);
    put16(b, 16);
    put16(b, static_cast<std::uint16_t>(cb_size));
    if (cb_size > 0)
        b.resize(b.size() + static_cast<std::size_t>(cb_size), 0);
    return b;
}

// Audio spread error correction data.
inline Bytes spread(std::uint8_t span, std::uint16_t packet_len, std::uint16_t chunk_len,
                    std::uint16_t silence_len, std::uint8_t silence) {
    Bytes b;
    put8(b, span);
    put16(b, packet_len);
    put16(b, chunk_len);
    put16(b, silence_len);
    put8(b, silence);
    return b;
}

// Video type-specific data: width, height, flags, format data size, BITMAPINFOHEADER.
inline Bytes video_format(std::string_view fourcc, std::uint16_t format_data_size = 40) {
    Bytes b;
    put32(b, 320);
    put32(b, 240);
    put8(b, 2);
    put16(b, format_data_size);
    put32(b, 40);  // biSize
    put32(b, 320);
    put32(b, 240);
    put16(b, 1);
    put16(b, 24);
    for (std::size_t i = 0; i < 4; ++i)
        put8(b, i < fourcc.size() ? fourcc[i] : 0);
    b.resize(b.size() + 20, 0);
    return b;
}

inline Bytes data_object(const Bytes& packets, std::uint64_t count = 0) {
    Bytes payload(16, 0xd1);  // File ID
    put64(payload, count);
    put16(payload, 0x0101);  // reserved
    put(payload, packets);
    return object(asfinspect::dump::ObjectKind::data, payload);
}

// A standard-form packet header: 82 00 00, Length Type Flags, Property Flags,
// the optional fields that the flags select, Send Time, Duration, Payload Flags.
struct PacketHead {
    std::uint8_t length_type_flags = 0x01;
    std::uint8_t property_flags = 0x5d;
    std::uint16_t packet_length = 0;  // with 0x40
    std::uint16_t padding_word = 0;   // with 0x10
    std::uint8_t padding_byte = 0;    // with 0x08
    std::uint32_t send_time = 0;
    std::uint16_t duration = 0;
    std::uint8_t payload_flags = 0x81;  // with 0x01
};

inline Bytes packet_head(const PacketHead& h) {
    Bytes b{0x82, 0x00, 0x00, h.length_type_flags, h.property_flags};
    if (h.length_type_flags & 0x40)
        put16(b, h.packet_length);
    if (h.length_type_flags & 0x10)
        put16(b, h.padding_word);
    if (h.length_type_flags & 0x08)
        put8(b, h.padding_byte);
    put32(b, h.send_time);
    put16(b, h.duration);
    if (h.length_type_flags & 0x01)
        put8(b, h.payload_flags);
    return b;
}

// A single-fragment payload of format 0x5d with a two-byte Payload Length.
inline Bytes single_payload(std::uint8_t stream, std::uint8_t seq, std::uint32_t object_size,
                            std::uint32_t time_ms, std::uint16_t length, bool key = false) {
    Bytes b;
    put8(b, stream | (key ? 0x80 : 0));
    put8(b, seq);
    put32(b, 0);  // offset into media object
    put8(b, 8);
    put32(b, object_size);
    put32(b, time_ms);
    put16(b, length);
    b.resize(b.size() + length, 0xee);
    return b;
}

// A grouped payload of format 0x5d with a two-byte Payload Length and
// sub-payloads of the given lengths.
inline Bytes grouped_payload(std::uint8_t stream, std::uint8_t seq, std::uint32_t time_ms,
                             std::initializer_list<std::uint8_t> lengths) {
    Bytes b;
    put8(b, stream);
    put8(b, seq);
    put32(b, time_ms);
    put8(b, 1);
    put8(b, 100);  // presentation time delta
    Bytes subs;
    for (auto len : lengths) {
        put8(subs, len);
        subs.resize(subs.size() + len, 0xcc);
    }
    put16(b, subs.size());
    put(b, subs);
    return b;
}

// Pads a packet with zeros (or `fill`) to `size` bytes.
inline Bytes padded(Bytes packet, std::size_t size, std::uint8_t fill = 0) {
    packet.resize(size, fill);
    return packet;
}

// The whole dump of an in-memory file.
inline std::string dump(const Bytes& file) {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    asfinspect::dump::dump_file(reader, out);
    return out.text_so_far();
}

// Everything the dump prints after the line `marker`, or "" when it is absent.
inline std::string after_line(const std::string& text, std::string_view marker) {
    const auto at = text.find(std::string(marker) + "\n");
    if (at == std::string::npos)
        return "";
    return text.substr(at + marker.size() + 1);
}

// How many times `what` occurs in `text`.
inline std::size_t count_of(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A file on disk holding the bytes, removed at the end of the test.
class TempFile {
  public:
    explicit TempFile(const Bytes& bytes = {}) {
        char name[] = "/tmp/asfinspect-test-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            std::abort();
        path_ = name;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                std::abort();
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { ::unlink(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace asftest

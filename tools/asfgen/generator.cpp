#include "asfgen/generator.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "asf/guid_registry.hpp"

namespace asfgen {

namespace {

using asfinspect::asf::Guid;
namespace guids = asfinspect::asf::guids;

// --- Object framing --------------------------------------------------------

constexpr std::uint64_t kObjectHeaderSize = 24;    // GUID and 64-bit size
constexpr std::uint64_t kDataObjectPreamble = 26;  // File ID, packet count, reserved
// File properties, header extension, two streams.
constexpr std::uint32_t kHeaderChildCount = 4;
constexpr std::uint8_t kHeaderReserved1 = 0x01;  // as every muxer writes them
constexpr std::uint8_t kHeaderReserved2 = 0x02;
constexpr std::uint16_t kHeaderExtensionReserved2 = 6;
constexpr std::uint16_t kDataObjectReserved = 0x0101;

// --- File properties ---------------------------------------------------------

constexpr std::uint64_t kHundredNsPerMs = 10'000;
constexpr std::uint64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr std::uint64_t kCreationUnixTime = 1'577'836'800;  // 2020-01-01 00:00:00 UTC
constexpr std::uint64_t kPrerollMs = 3000;
constexpr std::uint32_t kSeekableFlag = 0x02;
constexpr std::uint8_t kFileIdByte = 0xa5;

// --- Streams -------------------------------------------------------------------

constexpr std::uint8_t kAudioStream = 1;
constexpr std::uint8_t kVideoStream = 2;

// Audio: constant-size compressed frames (as a 64 kbit/s stream has), with
// audio-spread error correction.
constexpr std::uint16_t kAudioFormatTag = 0x0161;
constexpr std::uint16_t kAudioChannels = 2;
constexpr std::uint32_t kAudioSampleRate = 44'100;
constexpr std::uint32_t kAudioFrameBytes = 160;
constexpr std::uint32_t kAudioFrameMs = 20;
constexpr std::uint32_t kAudioBytesPerSecond = kAudioFrameBytes * 1000 / kAudioFrameMs;
constexpr std::uint16_t kAudioBitsPerSample = 16;
constexpr std::uint16_t kAudioExtraBytes = 10;  // cbSize: codec data after WAVEFORMATEX
constexpr std::uint8_t kSpreadSpan = 1;
constexpr std::uint16_t kSpreadSilenceLength = 1;

// Video: 25 frames per second, a key frame every 50 frames.
constexpr std::uint32_t kVideoWidth = 1280;
constexpr std::uint32_t kVideoHeight = 720;
constexpr std::uint8_t kVideoReservedFlags = 2;
constexpr std::uint32_t kBitmapInfoSize = 40;
constexpr std::uint16_t kVideoBitCount = 24;
constexpr std::array<std::uint8_t, 4> kVideoFourcc{'W', 'M', 'V', '2'};
constexpr std::uint32_t kVideoFrameMs = 40;
constexpr std::uint64_t kKeyFrameInterval = 50;
constexpr std::uint32_t kKeyFrameScale = 3;

// --- Packets -------------------------------------------------------------------

// Standard form: error correction present with two bytes of data (0x82),
// then Length Type Flags with a padding word and multiple payloads, and
// Property Flags 0x5d: byte Replicated Data Length, 4-byte Offset Into Media
// Object, byte Media Object Number.
constexpr std::uint8_t kErrorCorrectionFlags = 0x82;
constexpr std::uint8_t kLengthTypeFlags = 0x11;
constexpr std::uint8_t kPropertyFlags = 0x5d;
constexpr std::uint8_t kWordPayloadLengths = 0x80;  // Payload Flags: 2-byte lengths
constexpr std::size_t kPacketHeaderSize = 14;
constexpr std::size_t kPaddingAt = 5;
constexpr std::size_t kSendTimeAt = 7;
constexpr std::size_t kDurationAt = 11;
constexpr std::size_t kPayloadFlagsAt = 13;
constexpr std::size_t kMaxPayloadsPerPacket = 16;  // the count field holds 63
// Spare bytes left as padding at random, on top of what is left over anyway.
constexpr std::uint32_t kMaxSparePadding = 24;

constexpr std::uint8_t kKeyFrameBit = 0x80;
constexpr std::uint8_t kSingleFragment = 8;  // Replicated Data Length: size and time
constexpr std::uint8_t kGroupedPayload = 1;  // Replicated Data Length: time delta
// Stream, object number, offset, replicated length, size, time, payload length.
constexpr std::size_t kSingleHeaderSize = 17;
// Stream, object number, time, replicated length, time delta, payload length.
constexpr std::size_t kGroupedHeaderSize = 10;
constexpr std::size_t kMinVideoFragment = 16;
constexpr std::size_t kMaxGroupedFrames = 4;
// Every third audio payload carries one frame as a single fragment.
constexpr std::uint64_t kSingleAudioEvery = 3;

// Payload data is copied from a pool of noise at a random offset.
constexpr std::size_t kNoiseOffsets = 1 << 16;
constexpr std::size_t kNoiseSize = kNoiseOffsets + kMaxPacketSize;

// Packets are handed to the sink in blocks of about this size.
constexpr std::size_t kOutputBlock = 4 << 20;

constexpr std::uint64_t kSeed = 0x243f6a8885a308d3;

// splitmix64: small, fast, and the same on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }

  private:
    std::uint64_t state_;
};

// Little-endian stores into a byte buffer.
class Writer {
  public:
    explicit Writer(std::uint8_t* at) : at_(at) {}
    Writer& u8(std::uint64_t v) {
        *at_++ = static_cast<std::uint8_t>(v);
        return *this;
    }
    Writer& u16(std::uint64_t v) { return u8(v).u8(v >> 8); }
    Writer& u32(std::uint64_t v) { return u16(v).u16(v >> 16); }
    Writer& u64(std::uint64_t v) { return u32(v).u32(v >> 32); }
    Writer& bytes(const std::uint8_t* p, std::size_t n) {
        std::memcpy(at_, p, n);
        at_ += n;
        return *this;
    }
    std::uint8_t* at() const { return at_; }

  private:
    std::uint8_t* at_;
};

// Header assembly, where speed doesn't matter.
using ByteVector = std::vector<std::uint8_t>;

void append_le(ByteVector& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void append(ByteVector& b, const Guid& g) {
    b.insert(b.end(), g.bytes.begin(), g.bytes.end());
}

ByteVector object(const Guid& guid, const ByteVector& payload) {
    ByteVector b;
    append(b, guid);
    append_le(b, kObjectHeaderSize + payload.size(), 8);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

struct Timing {
    std::uint64_t play_duration_ms = 0;
    std::uint64_t send_duration_ms = 0;
};

ByteVector file_properties(const Layout& layout, const Timing& timing) {
    ByteVector p(16, kFileIdByte);
    append_le(p, layout.file_size, 8);
    append_le(p, (kCreationUnixTime + kSecondsFrom1601To1970) * 1000 * kHundredNsPerMs, 8);
    append_le(p, layout.packets, 8);
    append_le(p, timing.play_duration_ms * kHundredNsPerMs, 8);
    append_le(p, timing.send_duration_ms * kHundredNsPerMs, 8);
    append_le(p, kPrerollMs, 8);
    append_le(p, kSeekableFlag, 4);
    append_le(p, layout.packet_size, 4);  // minimum and maximum: all packets alike
    append_le(p, layout.packet_size, 4);
    // Bits per second of the packets, in floating point so that no size overflows.
    const double seconds =
        static_cast<double>(std::max<std::uint64_t>(timing.play_duration_ms, 1)) / 1000;
    const double bitrate = static_cast<double>(layout.packets) * layout.packet_size * 8 / seconds;
    const double limit = std::numeric_limits<std::uint32_t>::max();
    append_le(p, static_cast<std::uint64_t>(std::min(bitrate, limit)), 4);
    return object(guids::kFilePropertiesObject, p);
}

// The fields common to both streams, then the type-specific and error
// correction data.
ByteVector stream_properties(const Guid& type, const Guid& error_correction, std::uint8_t number,
                             const ByteVector& type_specific, const ByteVector& correction) {
    ByteVector p;
    append(p, type);
    append(p, error_correction);
    append_le(p, 0, 8);  // time offset
    append_le(p, type_specific.size(), 4);
    append_le(p, correction.size(), 4);
    append_le(p, number, 2);
    append_le(p, 0, 4);  // reserved
    p.insert(p.end(), type_specific.begin(), type_specific.end());
    p.insert(p.end(), correction.begin(), correction.end());
    return object(guids::kStreamPropertiesObject, p);
}

ByteVector audio_stream() {
    ByteVector wave;  // WAVEFORMATEX and its codec data
    append_le(wave, kAudioFormatTag, 2);
    append_le(wave, kAudioChannels, 2);
    append_le(wave, kAudioSampleRate, 4);
    append_le(wave, kAudioBytesPerSecond, 4);
    append_le(wave, kAudioFrameBytes, 2);  // block alignment
    append_le(wave, kAudioBitsPerSample, 2);
    append_le(wave, kAudioExtraBytes, 2);
    wave.resize(wave.size() + kAudioExtraBytes, 0);
    ByteVector spread;
    append_le(spread, kSpreadSpan, 1);
    append_le(spread, kAudioFrameBytes, 2);  // virtual packet length
    append_le(spread, kAudioFrameBytes, 2);  // virtual chunk length
    append_le(spread, kSpreadSilenceLength, 2);
    append_le(spread, 0, 1);  // silence data
    return stream_properties(guids::kAudioMedia, guids::kAudioSpread, kAudioStream, wave, spread);
}

ByteVector video_stream() {
    ByteVector v;
    append_le(v, kVideoWidth, 4);
    append_le(v, kVideoHeight, 4);
    append_le(v, kVideoReservedFlags, 1);
    append_le(v, kBitmapInfoSize, 2);  // format data size
    append_le(v, kBitmapInfoSize, 4);  // BITMAPINFOHEADER
    append_le(v, kVideoWidth, 4);
    append_le(v, kVideoHeight, 4);
    append_le(v, 1, 2);  // planes
    append_le(v, kVideoBitCount, 2);
    v.insert(v.end(), kVideoFourcc.begin(), kVideoFourcc.end());
    append_le(v, kVideoWidth * kVideoHeight * kVideoBitCount / 8, 4);
    v.resize(v.size() + 16, 0);  // resolution and palette fields
    return stream_properties(guids::kVideoMedia, guids::kNoErrorCorrection, kVideoStream, v, {});
}

// ASF requires a Header Extension Object in every header; this one is empty.
ByteVector header_extension() {
    ByteVector p;
    append(p, guids::kReserved1);
    append_le(p, kHeaderExtensionReserved2, 2);
    append_le(p, 0, 4);  // Header Extension Data Size: no objects
    return object(guids::kHeaderExtensionObject, p);
}

// The header object followed by the data object's own header.
ByteVector file_start(const Layout& layout, const Timing& timing) {
    ByteVector children = file_properties(layout, timing);
    for (const ByteVector& child : {header_extension(), audio_stream(), video_stream()})
        children.insert(children.end(), child.begin(), child.end());
    ByteVector header_payload;
    append_le(header_payload, kHeaderChildCount, 4);
    append_le(header_payload, kHeaderReserved1, 1);
    append_le(header_payload, kHeaderReserved2, 1);
    header_payload.insert(header_payload.end(), children.begin(), children.end());
    ByteVector b = object(guids::kHeaderObject, header_payload);

    append(b, guids::kDataObject);
    append_le(b, kObjectHeaderSize + kDataObjectPreamble + layout.packets * layout.packet_size, 8);
    b.insert(b.end(), 16, kFileIdByte);
    append_le(b, layout.packets, 8);
    append_le(b, kDataObjectReserved, 2);
    return b;
}

// Builds the packets one after another. Each packet gets the audio that is
// due by the video clock (grouped frames, or now and then a single frame),
// then video fragments until too little room is left, then padding.
//
// Every media object ends within the data. Audio objects never span packets.
// A video frame is begun no larger than the room left for it up to the last
// packet, counting one fragment per packet; once the packets after the
// current one could no longer hold the rest of a begun frame, the current
// packet carries that frame first and to its last byte, without audio or
// spare padding. So frames near the end may be smaller than their random
// size, and the last packets may hold video only.
class PacketMaker {
  public:
    PacketMaker(std::uint32_t packet_size, std::uint64_t packets)
        : packet_size_(packet_size), packets_(packets), noise_(kNoiseSize) {
        Random fill(kSeed ^ 0xa5a5a5a5);
        for (auto& byte : noise_)
            byte = static_cast<std::uint8_t>(fill.next());
        start_video_frame();
    }

    void make(std::uint8_t* packet) {
        const std::uint64_t start_clock = video_time_;
        // The video the packets after this one can hold, one fragment filling each.
        video_room_after_ =
            (packets_ - ++made_) * (packet_size_ - kPacketHeaderSize - kSingleHeaderSize);
        const bool finish_frame = frame_sent_ > 0 && frame_size_ - frame_sent_ > video_room_after_;
        const std::uint32_t spare = random_.below(kMaxSparePadding + 1);  // drawn in every packet
        std::uint8_t* const limit = packet + packet_size_ - (finish_frame ? 0 : spare);
        Writer w(packet + kPacketHeaderSize);
        std::size_t count = 0;
        while (!finish_frame && count < kMaxPayloadsPerPacket && audio_time_ <= video_time_ &&
               put_audio(w, limit)) {
            ++count;
        }
        while (count < kMaxPayloadsPerPacket && put_video(w, limit))
            ++count;
        const auto padding = static_cast<std::size_t>(packet + packet_size_ - w.at());
        std::memset(w.at(), 0, padding);

        const std::uint64_t send_time = start_clock > kPrerollMs ? start_clock - kPrerollMs : 0;
        const std::uint64_t duration = std::min<std::uint64_t>(video_time_ - start_clock, 0x7fff);
        Writer(packet)
            .u8(kErrorCorrectionFlags)
            .u16(0)
            .u8(kLengthTypeFlags)
            .u8(kPropertyFlags)
            .u16(padding)
            .u32(send_time)
            .u16(duration)
            .u8(kWordPayloadLengths | count);
        summary_.payloads += count;
        last_send_time_ = send_time + duration;
    }

    Summary summary() const {
        Summary s = summary_;
        s.play_duration_ms = std::max(video_time_, audio_time_);
        s.send_duration_ms = last_send_time_;
        return s;
    }

  private:
    static_assert(kPacketHeaderSize == kPayloadFlagsAt + 1 && kPaddingAt < kSendTimeAt &&
                  kSendTimeAt < kDurationAt);

    std::size_t room(const Writer& w, const std::uint8_t* limit) const {
        return w.at() < limit ? static_cast<std::size_t>(limit - w.at()) : 0;
    }

    void put_noise(Writer& w, std::size_t n) {
        w.bytes(noise_.data() + random_.below(kNoiseOffsets), n);
    }

    bool put_audio(Writer& w, const std::uint8_t* limit) {
        const std::uint64_t due = (video_time_ - audio_time_) / kAudioFrameMs + 1;
        const std::size_t fits =
            room(w, limit) < kGroupedHeaderSize
                ? 0
                : (room(w, limit) - kGroupedHeaderSize) / (1 + kAudioFrameBytes);
        const std::size_t frames = std::min<std::uint64_t>({due, fits, kMaxGroupedFrames});
        const bool single = frames < 2 || audio_payloads_ % kSingleAudioEvery == 0;
        if (single && room(w, limit) < kSingleHeaderSize + kAudioFrameBytes)
            return false;
        ++audio_payloads_;
        if (single) {
            w.u8(kAudioStream).u8(audio_object_).u32(0).u8(kSingleFragment);
            w.u32(kAudioFrameBytes).u32(audio_time_).u16(kAudioFrameBytes);
            put_noise(w, kAudioFrameBytes);
            ++audio_object_;
            audio_time_ += kAudioFrameMs;
            return true;
        }
        ++summary_.grouped_payloads;
        summary_.sub_payloads += frames;
        w.u8(kAudioStream).u8(audio_object_).u32(audio_time_).u8(kGroupedPayload);
        w.u8(kAudioFrameMs).u16(frames * (1 + kAudioFrameBytes));
        for (std::size_t i = 0; i < frames; ++i) {
            w.u8(kAudioFrameBytes);
            put_noise(w, kAudioFrameBytes);
        }
        audio_object_ = static_cast<std::uint8_t>(audio_object_ + frames);
        audio_time_ += frames * kAudioFrameMs;
        return true;
    }

    bool put_video(Writer& w, const std::uint8_t* limit) {
        if (room(w, limit) < kSingleHeaderSize + kMinVideoFragment)
            return false;
        if (frame_sent_ == 0) {
            const std::uint64_t to_end = room(w, limit) - kSingleHeaderSize + video_room_after_;
            frame_size_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(frame_size_, to_end));
        }
        const auto fragment =
            std::min<std::size_t>(frame_size_ - frame_sent_, room(w, limit) - kSingleHeaderSize);
        const bool key = video_frame_ % kKeyFrameInterval == 0;
        w.u8(kVideoStream | (key ? kKeyFrameBit : 0)).u8(video_object_).u32(frame_sent_);
        w.u8(kSingleFragment).u32(frame_size_).u32(video_time_).u16(fragment);
        put_noise(w, fragment);
        frame_sent_ += fragment;
        if (frame_sent_ == frame_size_) {
            ++video_frame_;
            ++video_object_;
            video_time_ += kVideoFrameMs;
            start_video_frame();
        }
        return true;
    }

    // Frames average three quarters of a packet, so that packets hold the end
    // of one frame and the start of the next; key frames are larger.
    void start_video_frame() {
        const std::uint32_t mean = packet_size_ * 3 / 4;
        frame_size_ = mean / 2 + random_.below(mean);
        if (video_frame_ % kKeyFrameInterval == 0)
            frame_size_ *= kKeyFrameScale;
        frame_sent_ = 0;
    }

    std::uint32_t packet_size_;
    std::uint64_t packets_;
    std::uint64_t made_ = 0;
    std::uint64_t video_room_after_ = 0;
    std::vector<std::uint8_t> noise_;
    Random random_{kSeed};
    Summary summary_;
    std::uint64_t last_send_time_ = 0;

    std::uint64_t audio_time_ = kPrerollMs;
    std::uint8_t audio_object_ = 0;
    std::uint64_t audio_payloads_ = 0;

    std::uint64_t video_time_ = kPrerollMs;
    std::uint64_t video_frame_ = 0;
    std::uint8_t video_object_ = 0;
    std::uint32_t frame_size_ = 0;
    std::uint32_t frame_sent_ = 0;
};

}  // namespace

std::optional<Layout> plan_file(std::uint64_t max_file_size, std::uint32_t packet_size) {
    if (packet_size < kMinPacketSize || packet_size > kMaxPacketSize)
        return std::nullopt;
    Layout layout;
    layout.packet_size = packet_size;
    const ByteVector start = file_start(layout, Timing{});
    layout.first_packet_offset = start.size();
    layout.header_object_size = start.size() - kObjectHeaderSize - kDataObjectPreamble;
    if (max_file_size < layout.first_packet_offset + packet_size)
        return std::nullopt;
    layout.packets = (max_file_size - layout.first_packet_offset) / packet_size;
    layout.file_size = layout.first_packet_offset + layout.packets * packet_size;
    return layout;
}

void MemorySink::append(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void MemorySink::rewrite_start(std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), bytes_.begin());
}

Summary generate(const Layout& layout, ByteSink& sink) {
    // The header goes out first with zero durations and is written again
    // once the packets have set the clocks.
    sink.append(file_start(layout, Timing{}));
    PacketMaker maker(layout.packet_size, layout.packets);
    const std::size_t per_block = std::max<std::size_t>(1, kOutputBlock / layout.packet_size);
    ByteVector block(per_block * layout.packet_size);
    for (std::uint64_t done = 0; done < layout.packets && !sink.failed();) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(per_block, layout.packets - done));
        for (std::size_t i = 0; i < n; ++i)
            maker.make(block.data() + i * layout.packet_size);
        sink.append(std::span(block).first(n * layout.packet_size));
        done += n;
    }
    const Summary summary = maker.summary();
    sink.rewrite_start(
        file_start(layout, Timing{summary.play_duration_ms, summary.send_duration_ms}));
    return summary;
}

}  // namespace asfgen

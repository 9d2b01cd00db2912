#include "repair/writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "asf/guid_registry.hpp"
#include "asf/object_format.hpp"
#include "asf/packet_format.hpp"
#include "asf/sentinels.hpp"
#include "decode/packets/parse.hpp"

namespace asfinspect::repair {

namespace pf = asf::packet_format;
namespace of = asf::object_format;

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

}  // namespace

ByteSink::ByteSink(int fd, std::uint64_t limit) : fd_(fd), limit_(limit), buffer_(kBufferSize) {}

void ByteSink::write_out(const std::uint8_t* p, std::size_t n) {
    if (failed())
        return;
    if (n > limit_ - std::min(limit_, written_)) {
        error_ = ENOSPC;
        return;
    }
    std::size_t done = 0;
    // Each pass writes more, or fails.
    while (done < n) {
        const ssize_t w = ::write(fd_, p + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error_ = w < 0 ? errno : EIO;
            return;
        }
        done += static_cast<std::size_t>(w);
    }
    written_ += n;
}

bool ByteSink::flush() {
    if (used_ != 0)
        write_out(buffer_.data(), used_);
    used_ = 0;
    return !failed();
}

void ByteSink::bytes(std::span<const std::uint8_t> b) {
    // An empty span may hold no pointer at all, which memcpy must not get.
    if (b.empty())
        return;
    if (b.size() > buffer_.size() - used_)
        flush();
    if (b.size() > buffer_.size()) {
        write_out(b.data(), b.size());
        return;
    }
    std::memcpy(buffer_.data() + used_, b.data(), b.size());
    used_ += b.size();
}

void ByteSink::le(std::uint64_t v, int width) {
    std::array<std::uint8_t, 8> b{};
    for (int i = 0; i < width; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    bytes(std::span(b).first(static_cast<std::size_t>(width)));
}

void ByteSink::zeros(std::uint64_t n) {
    static constexpr std::array<std::uint8_t, 4096> kZeros{};
    // Each pass writes one block of zeros or fewer.
    for (; n > 0 && !failed();) {
        const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(n, kZeros.size()));
        bytes(std::span(kZeros).first(k));
        n -= k;
    }
}

void ByteSink::copy(io::FileReader& in, std::int64_t offset, std::int64_t n) {
    if (n <= 0)
        return;
    flush();
    // Each pass moves one buffer's worth straight from the input to the output.
    for (std::int64_t done = 0; done < n && !failed() && !in.failed();) {
        const auto k = static_cast<std::size_t>(
            std::min<std::int64_t>(n - done, static_cast<std::int64_t>(buffer_.size())));
        in.read_at(offset + done, std::span(buffer_).first(k));
        if (in.failed())
            break;
        write_out(buffer_.data(), k);
        done += static_cast<std::int64_t>(k);
    }
}

namespace {

// A field of the file that the plan sets: its offset and bytes.
struct Patch {
    std::int64_t offset = 0;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t width = 0;
};

// Bytes [offset, offset + n) of `in`, with the fields that `patches` (in
// order) set.
void copy_patched(io::FileReader& in, ByteSink& out, std::int64_t offset, std::int64_t n,
                  std::span<const Patch> patches) {
    std::int64_t at = offset;
    const auto width = [](const Patch& p) { return static_cast<std::int64_t>(p.width); };
    // Each pass copies up to the next patch and writes it.
    for (const Patch& p : patches) {
        if (p.offset < at || p.offset + width(p) > offset + n)
            continue;
        out.copy(in, at, p.offset - at);
        out.bytes(std::span(p.bytes).first(p.width));
        at = p.offset + width(p);
    }
    out.copy(in, at, offset + n - at);
}

void add_patch(std::vector<Patch>& patches, std::int64_t offset,
               const std::optional<std::uint64_t>& value) {
    if (!value)
        return;
    Patch& p = patches.emplace_back();
    p.offset = offset;
    p.width = 8;
    for (std::size_t i = 0; i < p.width; ++i)
        p.bytes[i] = static_cast<std::uint8_t>(*value >> (8 * i));
}

void add_patch(std::vector<Patch>& patches, std::int64_t offset,
               const std::optional<asf::Guid>& value) {
    if (!value)
        return;
    patches.push_back({offset, value->bytes, value->bytes.size()});
}

// ---------------------------------------------------------------------------
// Packets.

// What the header of a packet the repair writes holds.
struct PacketHead {
    std::vector<std::uint8_t> error_correction;  // the flags byte and its data, or none
    std::uint8_t length_type_flags = 0;
    std::uint8_t property_flags = 0;
    bool packet_length = false;
    int sequence_width = 0;
    std::uint64_t sequence = 0;
    std::uint64_t send_time = 0;
    std::uint64_t duration = 0;
    bool multiple = false;
    std::uint8_t payload_flags = 0;  // the Number of Payloads is set from `payloads`
    std::uint32_t payloads = 0;
};

constexpr int kPaddingWidths[] = {0, 1, 2, 4};

unsigned length_type_of(int width) {
    return width == 4 ? pf::kDwordLengthType : static_cast<unsigned>(width);
}

std::int64_t head_size(const PacketHead& h, int padding_width) {
    return static_cast<std::int64_t>(h.error_correction.size()) + 2 +
           (h.packet_length
                ? pf::field_width(pf::length_type(h.length_type_flags, pf::kPacketLengthTypeShift))
                : 0) +
           h.sequence_width + padding_width + pf::kSendTimeWidth + pf::kDurationWidth +
           (h.multiple ? 1 : 0);
}

// Writes the head of a packet of `size` bytes whose payloads take
// `payload_bytes`, with a Padding Length for the rest: the width it had when
// the padding fits it, else the least that fits. Returns the padding, or -1
// when the payloads leave no room for the head.
std::int64_t write_head(ByteSink& out, PacketHead h, std::int64_t size,
                        std::int64_t payload_bytes) {
    const int had =
        pf::field_width(pf::length_type(h.length_type_flags, pf::kPaddingLengthTypeShift));
    int width = -1;
    std::int64_t padding = -1;
    const auto fits = [&](int w) {
        const std::int64_t left = size - head_size(h, w) - payload_bytes;
        return left >= 0 && (w == 0 ? left == 0 : w == 4 || left < (std::int64_t{1} << (8 * w)));
    };
    if (fits(had)) {
        width = had;
    } else {
        for (const int w : kPaddingWidths) {
            if (fits(w)) {
                width = w;
                break;
            }
        }
    }
    if (width < 0)
        return -1;
    padding = size - head_size(h, width) - payload_bytes;
    std::uint8_t flags = h.length_type_flags;
    flags = static_cast<std::uint8_t>(flags & ~pf::length_type_mask(pf::kPaddingLengthTypeShift));
    flags = static_cast<std::uint8_t>(flags | length_type_of(width) << pf::kPaddingLengthTypeShift);
    flags = static_cast<std::uint8_t>(h.multiple ? flags | pf::kMultiplePayloadsPresent
                                                 : flags & ~pf::kMultiplePayloadsPresent);
    out.bytes(h.error_correction);
    out.u8(flags);
    out.u8(h.property_flags);
    if (h.packet_length)
        out.le(static_cast<std::uint64_t>(size),
               pf::field_width(pf::length_type(flags, pf::kPacketLengthTypeShift)));
    out.le(h.sequence, h.sequence_width);
    out.le(static_cast<std::uint64_t>(padding), width);
    out.u32(h.send_time);
    out.u16(h.duration);
    if (h.multiple) {
        out.u8((h.payload_flags & ~pf::kNumberOfPayloadsMask) |
               (h.payloads & pf::kNumberOfPayloadsMask));
    }
    return padding;
}

// A packet of padding only, in the place of one that can't be read: no
// payload, the send time of the packet before it.
void write_padding_packet(ByteSink& out, std::int64_t size, std::uint64_t send_time) {
    PacketHead h;
    h.error_correction = {pf::kErrorCorrectionPresent | pf::kAssumedErrorCorrectionDataLength, 0,
                          0};
    h.property_flags = pf::kStandardPropertyFlags;
    h.send_time = send_time;
    h.multiple = true;
    h.payload_flags = static_cast<std::uint8_t>(pf::kWordLengthType << pf::kPayloadLengthTypeShift);
    const std::int64_t padding = write_head(out, h, size, 0);
    out.zeros(static_cast<std::uint64_t>(std::max<std::int64_t>(padding, 0)));
}

class PacketWriter {
  public:
    PacketWriter(io::FileReader& in, const Plan& plan, ByteSink& out)
        : in_(in), plan_(plan), out_(out), parser_(in, plan.facts) {}

    void write_all();

  private:
    std::int64_t offset_of(std::uint64_t k) const {
        return plan_.facts.data.first_packet +
               static_cast<std::int64_t>(k) * plan_.facts.data.packet_size;
    }
    void rewrite(std::uint64_t k);

    io::FileReader& in_;
    const Plan& plan_;
    ByteSink& out_;
    decode::PacketParser parser_;
};

void PacketWriter::write_all() {
    const std::uint64_t n = plan_.packets_out;
    const std::int64_t size = plan_.facts.data.packet_size;
    auto run = plan_.replaced.begin();
    auto rewritten = plan_.rewritten.begin();
    std::uint64_t k = 0;
    // Each pass writes the packets kept up to the next one changed, then it.
    while (k < n && !out_.failed() && !in_.failed()) {
        const std::uint64_t next_run = run != plan_.replaced.end() ? run->first : n;
        const std::uint64_t next_rewrite = rewritten != plan_.rewritten.end() ? *rewritten : n;
        const std::uint64_t next = std::min({next_run, next_rewrite, n});
        out_.copy(in_, offset_of(k), static_cast<std::int64_t>(next - k) * size);
        k = next;
        if (k == n)
            break;
        if (k == next_run) {
            const std::uint64_t end = std::min(run->end(), n);
            // Each pass writes one padding packet of the run.
            for (; k < end && !out_.failed(); ++k)
                write_padding_packet(out_, size, run->send_time);
            ++run;
            // A packet both replaced and rewritten is replaced.
            while (rewritten != plan_.rewritten.end() && *rewritten < k)
                ++rewritten;
        } else {
            rewrite(k);
            ++rewritten;
            ++k;
        }
    }
}

// A packet that loses payloads, or whose length fields are rewritten: the
// payloads kept move up behind its header, as they were, and padding fills
// the rest; the packet keeps its size and place.
void PacketWriter::rewrite(std::uint64_t k) {
    const decode::Packet& p = parser_.parse(k, offset_of(k));
    const auto removed_from =
        std::lower_bound(plan_.removed.begin(), plan_.removed.end(), p.offset);
    const auto removed_to = std::lower_bound(removed_from, plan_.removed.end(), p.offset + p.size);
    const auto removed = [&](std::int64_t payload) {
        return std::binary_search(removed_from, removed_to, payload);
    };
    std::vector<std::pair<std::int64_t, std::int64_t>> kept;  // at most 63 payloads
    std::int64_t bytes = 0;
    for (const decode::Payload& payload : p.payloads) {
        if (payload.stage != decode::Payload::Stage::whole || removed(payload.offset))
            continue;
        const std::int64_t end = p.header.multiple_payloads() ? payload.data_end() : p.area_end;
        kept.emplace_back(payload.offset, end - payload.offset);
        bytes += end - payload.offset;
    }
    const decode::PacketHeader& ph = p.header;
    PacketHead h;
    if (ph.error_correction()) {
        h.error_correction.resize(1 + std::size_t{ph.error_correction_length});
        in_.read_at(p.offset, h.error_correction);
    }
    h.length_type_flags = ph.length_type_flags;
    h.property_flags = ph.property_flags;
    h.packet_length = ph.has_packet_length;
    h.sequence_width =
        pf::field_width(pf::length_type(ph.length_type_flags, pf::kSequenceTypeShift));
    h.sequence = ph.sequence;
    h.send_time = ph.send_time;
    h.duration = ph.duration;
    // A packet of one payload that loses it becomes one of none, which only
    // a packet of several payloads can say.
    h.multiple = ph.multiple_payloads() || kept.empty();
    h.payload_flags =
        ph.multiple_payloads()
            ? static_cast<std::uint8_t>(ph.payload_flags)
            : static_cast<std::uint8_t>(pf::kWordLengthType << pf::kPayloadLengthTypeShift);
    h.payloads = static_cast<std::uint32_t>(kept.size());
    const std::int64_t padding = write_head(out_, h, p.size, bytes);
    for (const auto& [offset, length] : kept)
        out_.copy(in_, offset, length);
    out_.zeros(static_cast<std::uint64_t>(std::max<std::int64_t>(padding, 0)));
}

// ---------------------------------------------------------------------------
// Indexes.

void write_simple_index(ByteSink& out, const Plan& plan, const SimpleIndexBuilder& index) {
    out.guid(asf::guids::kSimpleIndexObject);
    out.u64(static_cast<std::uint64_t>(Plan::simple_index_size(index)));
    out.guid(plan.facts.file_properties.file_id);
    out.u64(index.interval());
    out.u32(index.maximum_packets());
    out.u32(index.entries());
    for (const IndexRun& run : index.runs()) {
        // Each pass writes one entry of the run.
        for (std::uint64_t i = 0; i < run.repeat && !out.failed(); ++i) {
            out.u32(run.entry.packet);
            out.u16(run.entry.packets);
        }
    }
}

void write_index_object(ByteSink& out, const IndexObjectBuilder& index) {
    out.guid(asf::guid_named("ASF_Index_Object"));
    out.u64(static_cast<std::uint64_t>(index.size()));
    out.u32(index.interval());
    out.u16(index.specifiers().size());
    out.u32(index.blocks().size());
    for (const decode::IndexSpecifierFacts& s : index.specifiers()) {
        out.u16(s.stream);
        out.u16(s.type);
    }
    std::vector<EntryCursor> cursors = index.cursors();
    for (const IndexBlock& block : index.blocks()) {
        out.u32(block.entries);
        for (const std::uint64_t position : block.positions)
            out.u64(position);
        // Each pass writes one entry: an offset per specifier.
        for (std::uint64_t e = 0; e < block.entries && !out.failed(); ++e) {
            for (std::size_t i = 0; i < cursors.size(); ++i) {
                const IndexEntry entry = cursors[i].next();
                const std::uint64_t offset =
                    std::uint64_t{entry.packet} * index.packet_size() - block.positions[i];
                out.u32(entry.packets == 0 ? asf::sentinels::kNoIndexEntry : offset);
            }
        }
    }
}

}  // namespace

void write_repaired(io::FileReader& in, const Plan& plan, ByteSink& out) {
    const decode::FilePropertiesFacts& fp = plan.facts.file_properties;
    const decode::DataFacts& data = plan.facts.data;
    for (const TopObject& o : plan.objects) {
        if (out.failed() || in.failed())
            return;
        if (o.type == asf::ObjectType::header && o.offset == plan.objects.front().offset) {
            std::vector<Patch> patches;
            add_patch(patches, fp.offset + of::file_properties::kFileSize, plan.fields.file_size);
            add_patch(patches, fp.offset + of::file_properties::kDataPacketsCount,
                      plan.fields.packets);
            add_patch(patches, fp.offset + of::file_properties::kPlayDuration,
                      plan.fields.play_duration);
            add_patch(patches, fp.offset + of::file_properties::kSendDuration,
                      plan.fields.send_duration);
            copy_patched(in, out, o.offset, plan.header_size, patches);
        } else if (o.type == asf::ObjectType::data && o.offset == data.offset) {
            std::vector<Patch> patches;
            add_patch(patches, data.offset + static_cast<std::int64_t>(of::kSizeFieldOffset),
                      plan.fields.data_size);
            add_patch(patches, data.offset + of::kDataFileIdOffset, plan.fields.data_file_id);
            add_patch(patches, data.offset + of::kTotalDataPacketsOffset, plan.fields.packets);
            copy_patched(in, out, data.offset, data.first_packet - data.offset, patches);
            PacketWriter(in, plan, out).write_all();
            if (plan.rebuild_indexes) {
                for (const SimpleIndexBuilder& index : plan.simple_indexes)
                    write_simple_index(out, plan, index);
                if (plan.index_object)
                    write_index_object(out, *plan.index_object);
            }
        } else if (plan.keeps(o)) {
            out.copy(in, o.offset, o.size);
        }
    }
    out.flush();
}

}  // namespace asfinspect::repair

#include "decode/packets/media_objects.hpp"

#include <algorithm>
#include <array>

#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"

namespace asfinspect::decode {

MediaObjectTracker::MediaObjectTracker(Context& decoder, bool check)
    : decoder_(decoder), view_(decoder.view()), check_(check) {}

void MediaObjectTracker::start(Open& o, const Packet& packet, const Payload& p) {
    o.open = true;
    o.received = p.payload_length;
    MediaObject& m = o.object;
    m.size = 0;
    m.stream = p.stream;
    m.number = static_cast<std::uint32_t>(p.media_object_number);
    m.presentation_time = static_cast<std::uint32_t>(p.presentation_time);
    m.size_declared = static_cast<std::uint32_t>(p.media_object_size);
    m.key_frame = p.key_frame;
    m.fragments = 1;
    m.first_packet = packet.index;
    m.last_packet = packet.index;
    m.send_time = static_cast<std::uint32_t>(packet.header.send_time);
    m.offset = p.data_offset;
    m.whole = true;
    m.duration = sample_duration(packet, p);
    take_bytes(m, packet, p);
}

std::uint16_t MediaObjectTracker::sample_duration(const Packet& packet, const Payload& p) {
    const std::vector<PayloadExtensionFacts>& systems =
        decoder_.facts().streams[p.stream].extensions;
    // Each pass looks at one item of the payload's extension data.
    for (std::size_t i = 0; i < p.extensions; ++i) {
        const ExtensionItem& item = packet.extension_items[p.first_extension + i];
        const asf::ExtensionKind* kind =
            item.system < systems.size() ? systems[item.system].kind : nullptr;
        if (kind == nullptr || kind->content != asf::ExtensionContent::sample_duration ||
            !kind->allows(item.size)) {
            continue;
        }
        std::array<std::uint8_t, 2> raw{};
        if (decoder_.file().read_at(item.data, raw) < raw.size())
            return 0;
        return io::le16(raw, 0);
    }
    return 0;
}

// The bytes of a fragment that the file holds count; those past the end of
// its packet or of the file don't, nor any past the object's declared size.
void MediaObjectTracker::take_bytes(MediaObject& m, const Packet& packet, const Payload& p) {
    const std::int64_t end = std::min(p.data_end(), packet.limit);
    const std::uint64_t held =
        end > p.data_offset ? static_cast<std::uint64_t>(end - p.data_offset) : 0;
    if (held < p.payload_length)
        m.whole = false;
    m.size = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{m.size} + held, m.size_declared));
}

void MediaObjectTracker::select(const StreamSet& streams,
                                std::pair<std::uint64_t, std::uint64_t> times) {
    narrowed_ = true;
    streams_ = streams;
    first_time_ = times.first;
    last_time_ = times.second;
}

void MediaObjectTracker::tell(const MediaObject& m) {
    earliest_ = any_ ? std::min(earliest_, m.presentation_time) : m.presentation_time;
    latest_ = any_ ? std::max(latest_, m.presentation_time) : m.presentation_time;
    any_ = true;
    if (narrowed_ && (!streams_.test(m.stream) || m.presentation_time < first_time_ ||
                      m.presentation_time > last_time_)) {
        return;
    }
    view_.media_object(m);
}

void MediaObjectTracker::close(Open& o) {
    o.open = false;
    tell(o.object);
}

void MediaObjectTracker::cut_off(Open& o, std::int64_t at, std::string_view by) {
    if (check_) {
        decoder_.report(at, Severity::error, codes::kMediaObjectCut,
                        message("media object ", o.object.number, " of stream ", o.object.stream,
                                " is cut off by ", by, " after ", o.received, " of its ",
                                o.object.size_declared, " bytes"));
    }
    o.object.whole = false;
    close(o);
}

void MediaObjectTracker::fragment(const Packet& packet, const Payload& p) {
    Open& o = open_[p.stream];
    if (p.compressed) {
        if (o.open)
            cut_off(o, p.offset, "a compressed payload");
        return;
    }
    if (!p.has_object_fields)
        return;
    const auto number = static_cast<std::uint32_t>(p.media_object_number);
    if (p.offset_into_media_object == 0) {
        if (o.open)
            cut_off(o, p.offset, message("media object ", p.media_object_number));
        start(o, packet, p);
    } else if (!o.open || o.object.number != number) {
        if (o.open)
            cut_off(o, p.offset, message("a fragment of media object ", p.media_object_number));
        // Without its start the object can't be built; when the packets are
        // a selection, its start lies before them.
        view_.stray_fragment(packet, p);
        if (check_) {
            decoder_.report(p.offset, Severity::error, codes::kMediaObjectGap,
                            message("a fragment at offset ", p.offset_into_media_object,
                                    " of media object ", p.media_object_number, " of stream ",
                                    p.stream, ", whose earlier fragments are missing"));
        }
        return;
    } else {
        MediaObject& m = o.object;
        if (check_ && p.offset_into_media_object > o.received) {
            decoder_.report(
                p.offset, Severity::error, codes::kMediaObjectGap,
                message("the fragments of media object ", m.number, " of stream ", p.stream,
                        " leave a gap from byte ", o.received, " to ", p.offset_into_media_object));
        } else if (check_ && p.offset_into_media_object < o.received) {
            decoder_.report(
                p.offset, Severity::error, codes::kMediaObjectOverlap,
                message("the fragments of media object ", m.number, " of stream ", p.stream,
                        " overlap: this one starts at byte ", p.offset_into_media_object,
                        ", after ", o.received, " bytes were already given"));
        }
        if (p.offset_into_media_object != o.received)
            m.whole = false;
        // Continuation fragments may leave the Media Object Size at 0.
        if (p.media_object_size != 0 && p.media_object_size != m.size_declared) {
            if (check_) {
                decoder_.report(p.offset, Severity::error, codes::kMediaObjectSize,
                                message("the fragments of media object ", m.number, " of stream ",
                                        p.stream, " disagree on its size: ", m.size_declared,
                                        " and ", p.media_object_size));
            }
            m.whole = false;
        }
        o.received = std::max(o.received, p.offset_into_media_object + p.payload_length);
        take_bytes(m, packet, p);
        ++m.fragments;
        m.last_packet = packet.index;
    }
    if (o.received > o.object.size_declared) {
        if (check_) {
            decoder_.report(
                p.offset, Severity::error, codes::kMediaObjectSize,
                message("the fragments of media object ", o.object.number, " of stream ", p.stream,
                        " add up to ", o.received, " bytes, above its Media Object Size of ",
                        o.object.size_declared));
        }
        o.object.whole = false;
        close(o);
    } else if (o.received == o.object.size_declared) {
        close(o);
    }
}

void MediaObjectTracker::sub_payload(const Packet& packet, const Payload& p, std::uint64_t index,
                                     std::int64_t at, std::uint8_t length) {
    if (length == 0)
        return;  // no object: ASF skips empty sub-payloads
    MediaObject m;
    m.stream = p.stream;
    m.number = static_cast<std::uint32_t>(p.media_object_number + index);
    m.presentation_time =
        static_cast<std::uint32_t>(p.offset_into_media_object + index * p.time_delta);
    m.size = length;
    m.size_declared = length;
    m.key_frame = p.key_frame;
    m.fragments = 1;
    m.first_packet = packet.index;
    m.last_packet = packet.index;
    m.send_time = static_cast<std::uint32_t>(packet.header.send_time);
    m.offset = at + 1;
    tell(m);
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> MediaObjectTracker::span() const {
    if (!any_)
        return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(earliest_, latest_);
}

void MediaObjectTracker::finish(std::int64_t end, bool report) {
    for (Open& o : open_) {
        if (!o.open)
            continue;
        if (check_ && report) {
            decoder_.report(end, Severity::error, codes::kMediaObjectCut,
                            message("media object ", o.object.number, " of stream ",
                                    o.object.stream, " ends with the data after ", o.received,
                                    " of its ", o.object.size_declared, " bytes"));
        }
        o.object.whole = false;
        close(o);
    }
}

}  // namespace asfinspect::decode

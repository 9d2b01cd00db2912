#include "decode/packets/packets.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "asf/guid_registry.hpp"
#include "asf/object_format.hpp"
#include "asf/time_units.hpp"
#include "decode/findings.hpp"
#include "decode/packets/show.hpp"
#include "decode/text.hpp"
#include "io/le.hpp"
#include "io/saturating.hpp"
#include "io/zeros.hpp"

namespace asfinspect::decode {

namespace {

std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

}  // namespace

PacketDecoder::PacketDecoder(Context& decoder)
    : decoder_(decoder),
      file_(decoder.file()),
      view_(decoder.view()),
      facts_(decoder.facts()),
      show_(decoder.view().wants_fields()),
      check_sequence_(decoder.options().whole()),
      selection_(decoder.options()),
      narrowed_(!selection_.all_streams() || selection_.time.has_value()),
      parser_(decoder.file(), decoder.facts()),
      media_objects_(decoder, check_sequence_),
      delivery_(decoder, check_sequence_) {}

void PacketDecoder::problem(std::int64_t offset, Severity severity, std::string_view code,
                            std::string_view text) {
    decoder_.report(offset, severity, code, text);
}

// ---------------------------------------------------------------------------
// Where the packets are.

bool PacketDecoder::top_level_object_at(std::int64_t at) {
    std::array<std::uint8_t, asf::object_format::kObjectHeaderSize> raw{};
    if (file_.read_at(at, raw) < raw.size() || !asf::may_start_object_guid(raw[0], raw[1]))
        return false;
    asf::Guid guid;
    std::copy_n(raw.begin(), guid.bytes.size(), guid.bytes.begin());
    const asf::GuidInfo* known = asf::find_guid(guid);
    return known != nullptr && known->placement == asf::Placement::top_level &&
           io::le64s(raw, asf::object_format::kSizeFieldOffset) >=
               asf::object_format::kObjectHeaderSize;
}

std::uint64_t PacketDecoder::count_packets_by_scanning() {
    DataFacts& data = facts_.data;
    const std::int64_t size = data.packet_size;
    // Zero bytes up to the end of the file hold no packet.
    const std::int64_t zeros = io::zeros_start(file_, data.first_packet, file_.size());
    std::uint64_t n = 0;
    std::int64_t at = data.first_packet;
    // Whole packets, up to the end of the file, to the zero bytes that end
    // it, or to the first top-level object that starts where a packet would.
    for (; at <= file_.size() - size && at < zeros && !file_.failed(); at += size, ++n) {
        if (top_level_object_at(at)) {
            data.end = at;
            return n;
        }
    }
    data.end = at;
    if (at >= zeros && at < file_.size()) {
        report_zeros(at, file_.size());
        return n;
    }
    if (at < file_.size() && !top_level_object_at(at)) {
        cut_ = true;
        decoder_.report_extent(at, codes::kTruncatedFile,
                               message("the file is cut short inside its last packet, packet ", n,
                                       ", after ", file_.size() - at, " of its ", size,
                                       " bytes: it breaks ", where_packet_breaks(n, at)));
        data.end = file_.size();
        ++n;
    }
    return n;
}

// Where the file's end cuts the packet: in its header, in a payload's header
// or data, or after its payloads.
std::string PacketDecoder::where_packet_breaks(std::uint64_t index, std::int64_t offset) {
    const Packet& packet = parser_.parse(index, offset);
    for (const PacketProblem& p : packet.problems) {
        if (p.code != codes::kTruncatedFile)
            continue;
        if (p.place == PacketProblem::Place::header)
            return message("in its header, ", file_.size() - offset, " bytes into it");
        return message("in payload ", p.payload, "'s header");
    }
    for (const Payload& p : packet.payloads) {
        if (p.stage == Payload::Stage::whole && p.data_end() > file_.size()) {
            return message("in payload ", p.index, "'s data, after ",
                           std::max<std::int64_t>(file_.size() - p.data_offset, 0), " of its ",
                           p.payload_length, " bytes");
        }
    }
    return "after its payloads";
}

// Packets of zero bytes at the end of the data, and zero bytes after it, are
// what a capture that preallocated its file leaves: no packet is decoded
// from them. The packets end before them; the walk goes on after them.
void PacketDecoder::end_before_zeros() {
    DataFacts& data = facts_.data;
    if (data.end > file_.size())
        return;  // cut short: the truncated-file finding tells
    const std::int64_t size = data.packet_size;
    const std::int64_t start = io::zeros_start(file_, data.first_packet, data.end);
    // The zero packets begin at the first packet that starts inside the run.
    const std::uint64_t kept = u(start - data.first_packet + size - 1) / u(size);
    const std::int64_t from = data.first_packet + static_cast<std::int64_t>(kept) * size;
    // Zero bytes after the data count with it when nothing but the end of
    // the file or an object follows them.
    std::int64_t to = io::zeros_end(file_, data.end, file_.size());
    if (to < file_.size() && !top_level_object_at(to))
        to = data.end;
    if (from == data.end && to == data.end)
        return;
    data.packets = std::min(data.packets, kept);
    data.end = from;
    report_zeros(from, to);
}

void PacketDecoder::report_zeros(std::int64_t from, std::int64_t to) {
    zeros_end_ = to;
    decoder_.report_extent(
        from, codes::kTrailingZeros,
        message(to - from, " zero bytes after the last packet",
                to == file_.size() ? ", up to the end of the file" : "",
                ": what a capture that preallocated its file leaves; players skip them, and no "
                "packet is decoded from them"),
        Severity::warning);
}

std::uint64_t PacketDecoder::locate_packets() {
    const FilePropertiesFacts& fp = facts_.file_properties;
    DataFacts& data = facts_.data;
    data.end = data.offset + std::min<std::int64_t>(data.size, file_.size() - data.offset);
    if (!fp.present) {
        problem(data.offset, Severity::error, codes::kMissingObject,
                "no ASF_File_Properties_Object comes before the Data Object, so the packet size "
                "is unknown and the packets are not decoded");
        return 0;
    }
    data.packet_size = fp.packet_size();
    const std::uint64_t size = data.packet_size;
    if (size == 0) {
        problem(data.offset, Severity::error, codes::kPacketSize,
                "the packet size is 0, so the packets are not decoded");
        return 0;
    }
    const std::uint64_t count = fp.data_packets_count;
    if (!fp.broadcast() && data.total_data_packets != count) {
        problem(data.offset, Severity::error, codes::kPacketCount,
                message("Total Data Packets is ", data.total_data_packets,
                        " but the File Properties' Data Packets Count is ", count));
    }
    constexpr auto kHead = static_cast<std::uint64_t>(asf::object_format::kDataObjectHeadSize);
    const std::uint64_t object_size = u(data.size);
    const bool size_matches = object_size >= kHead && (object_size - kHead) % size == 0 &&
                              (object_size - kHead) / size == count;
    // A count and size that agree still leave packets out when what follows
    // the Data Object is no object, as in streamed files that write 0 for both.
    const std::int64_t declared_end = io::saturating_add(data.offset, data.size);
    const auto followed_by_object = [&](std::int64_t at) {
        return at >= file_.size() || top_level_object_at(at) || !file_.holds(at, size) ||
               io::zeros_end(file_, at, file_.size()) == file_.size();
    };
    // A Data Object sized for more than its packets, the rest zero bytes.
    const std::int64_t counted_end = static_cast<std::int64_t>(std::min<std::uint64_t>(
        io::saturating_add(u(data.first_packet), io::saturating_multiply(count, size)),
        u(std::numeric_limits<std::int64_t>::max())));
    const bool zeros_fill_object = !size_matches && object_size >= kHead &&
                                   counted_end < declared_end && declared_end <= file_.size() &&
                                   io::zeros_end(file_, counted_end, declared_end) == declared_end;
    if (!fp.broadcast() && (size_matches || zeros_fill_object) &&
        followed_by_object(declared_end)) {
        data.packets = count;
        data.end = size_matches ? declared_end : counted_end;
        const std::int64_t present = std::max<std::int64_t>(file_.size() - data.first_packet, 0);
        if (data.end > file_.size()) {
            const std::uint64_t whole = u(present) / size;
            const bool partial = u(present) % size != 0;
            const std::int64_t last = data.first_packet + static_cast<std::int64_t>(whole * size);
            cut_ = true;
            decoder_.report_extent(
                data.offset, codes::kTruncatedFile,
                message("the file is cut short inside the data: ", whole, " of ", count,
                        " packets are whole, and ", u(data.offset) + u(data.size) - u(file_.size()),
                        " bytes are missing",
                        partial ? message("; packet ", whole, " at ", Hex{u(last)}, " breaks ",
                                          where_packet_breaks(whole, last))
                                : std::string()));
            data.packets = std::min(count, whole + (partial ? 1 : 0));
        }
        end_before_zeros();
        return data.packets;
    }
    if (!fp.broadcast() && !size_matches) {
        problem(data.offset, Severity::error, codes::kDataSize,
                message("the Data Object's size is ", data.size, ", not 50 + ", count, " × ", size,
                        " for its packets"));
    }
    const std::uint64_t n = count_packets_by_scanning();
    if (!fp.broadcast() && n != count) {
        problem(data.offset, Severity::error, codes::kPacketCount,
                message("Data Packets Count is ", count, " but ", n, " packets are present"));
    }
    problem(data.offset, Severity::warning, codes::kBroadcastPackets,
            message(fp.broadcast() ? "the Broadcast flag is set, so sizes and counts are not kept"
                    : size_matches ? "packets follow the Data Object's end"
                                   : "the sizes and counts disagree",
                    ": the ", n, " packets of ", size, " bytes found up to ", Hex{u(data.end)},
                    " are decoded"));
    data.packets = n;
    return n;
}

std::int64_t PacketDecoder::decode_all() {
    const std::uint64_t n = locate_packets();
    DataFacts& data = facts_.data;
    view_.begin_packets(facts_, selection_);
    const PacketRange& range = decoder_.options().packets;
    const std::uint64_t first = range.begin_below(n);
    const std::uint64_t last = range.end_below(n);
    if (!range.empty && !range.is_all() && range.first >= n) {
        problem(data.offset, Severity::warning, codes::kPacketSelection,
                n == 0 ? message("packet ", range.first, " is selected, but the data holds none")
                       : message("packet ", range.first, " is selected, but the data holds ", n,
                                 " packets, 0 to ", n - 1));
    }
    std::uint64_t from = first;
    if (selection_.time) {
        const std::uint64_t preroll = facts_.file_properties.preroll;
        // From the start of the file, objects presented before it are in.
        times_.first =
            selection_.time->first == 0 ? 0 : io::saturating_add(selection_.time->first, preroll);
        times_.last = io::saturating_add(selection_.time->last, preroll);
        media_objects_.select(selection_.streams, {times_.first, times_.last});
        from = std::max(from, first_packet_of_time(last));
    } else if (!selection_.all_streams()) {
        media_objects_.select(selection_.streams, {0, ~std::uint64_t{0}});
    }
    // Each pass decodes one packet, until the selection or the file ends.
    for (std::uint64_t k = from; k < last && !decoder_.stopped(); ++k) {
        const bool more =
            decode_packet(k, data.first_packet + static_cast<std::int64_t>(k * data.packet_size));
        ++data.decoded;
        if (!more)
            break;
    }
    if (!decoder_.stopped()) {
        // Objects the end of a cut file leaves open are told of by the
        // truncated-file finding.
        media_objects_.finish(data.end, !cut_);
        delivery_.finish();
        check_duration();
    }
    if (zero_filled_packets_ != 0) {
        problem(first_zero_filled_, Severity::warning, codes::kZeroFill,
                message(zero_filled_packets_,
                        zero_filled_packets_ == 1 ? " packet ends" : " packets end",
                        " in zero bytes after the last payload, outside the Padding Length: an "
                        "early Windows Media muxer writes them so, and players take them as "
                        "padding; the first is at ",
                        Hex{u(first_zero_filled_)}));
    }
    view_.end_packets();
    return std::max(data.end, zeros_end_);
}

// ---------------------------------------------------------------------------
// One packet: read whole, then shown and checked, its findings placed at the
// packet or payload they are about.

void PacketDecoder::report_problems(const Packet& packet, PacketProblem::Place place,
                                    std::uint32_t payload) {
    // Each pass reports one of the packet's problems; a good packet has none.
    for (const PacketProblem& p : packet.problems) {
        // The cut of the last packet is told where the packets are found.
        if (cut_ && p.code == codes::kTruncatedFile)
            continue;
        if (p.place == place && (place != PacketProblem::Place::payload || p.payload == payload))
            problem(p.offset, p.severity, p.code, p.message);
    }
}

bool PacketDecoder::decode_packet(std::uint64_t index, std::int64_t offset) {
    const Packet& packet = parser_.parse(index, offset);
    // A packet whose bytes can't be read is not shown: it would be zeros.
    if (file_.failed())
        return false;
    if (narrowed_) {
        // Send times rise, and nothing is sent after it is presented.
        if (selection_.time && packet.header_whole && packet.header.send_time > times_.last)
            return false;
        if (!carries_selection(packet))
            return true;
    }
    view_.packet(packet);
    if (show_) {
        view_.begin_item(index, offset);
        if (packet.header_whole)
            show_packet_header(view_, file_, packet);
    }
    if (packet.header_whole)
        check_send_time(packet);
    delivery_.packet(packet);
    const bool problems = !packet.problems.empty();
    if (problems)
        report_problems(packet, PacketProblem::Place::header);
    if (packet.area_valid) {
        if (show_)
            view_.begin_list("Payloads", "Payload");
        for (const Payload& payload : packet.payloads) {
            if (!narrowed_ || selection_.streams.test(payload.stream))
                decode_payload(packet, payload);
        }
        if (show_)
            view_.end_list();
        if (problems)
            report_problems(packet, PacketProblem::Place::end);
        if (packet.zero_filled && zero_filled_packets_++ == 0)
            first_zero_filled_ = offset;
    }
    if (show_)
        view_.end_item();
    return true;
}

// ---------------------------------------------------------------------------
// The selection by stream and time.

std::uint64_t PacketDecoder::send_time_of(std::uint64_t index) {
    const DataFacts& data = facts_.data;
    const Packet& packet = parser_.parse(
        index, data.first_packet + static_cast<std::int64_t>(index * data.packet_size));
    return packet.header_whole ? packet.header.send_time : 0;
}

// ASF sends a media object before it is presented, and at most the preroll
// and its stream's buffer before: the packets sent earlier than that carry
// none of the selection, and a search by send time skips them unread.
std::uint64_t PacketDecoder::first_packet_of_time(std::uint64_t n) {
    const std::uint64_t preroll = facts_.file_properties.preroll;
    std::uint64_t buffer = preroll;
    for (std::size_t s = 1; s < kStreamNumbers; ++s) {
        if (selection_.streams.test(s))
            buffer = std::max<std::uint64_t>(buffer, facts_.streams[s].buffer_size);
    }
    const std::uint64_t lead = io::saturating_add(preroll, buffer);
    const std::uint64_t earliest = times_.first > lead ? times_.first - lead : 0;
    std::uint64_t low = 0;
    std::uint64_t high = n;
    // Each pass halves [low, high), which holds the first packet sent at or
    // after `earliest`.
    while (low < high && !decoder_.stopped()) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (send_time_of(middle) < earliest) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

bool PacketDecoder::carries_selection(const Packet& packet) {
    return std::any_of(packet.payloads.begin(), packet.payloads.end(),
                       [&](const Payload& p) { return selected(p); });
}

bool PacketDecoder::selected(const Payload& p) {
    if (p.stage != Payload::Stage::whole || !selection_.streams.test(p.stream))
        return false;
    if (!selection_.time)
        return true;
    const auto in_time = [&](std::uint64_t t) { return t >= times_.first && t <= times_.last; };
    if (p.has_object_fields)
        return in_time(p.presentation_time);
    if (!p.compressed)
        return false;  // no presentation time to go by
    // A compressed payload's sub-payloads follow one another by its delta.
    const std::int64_t end = std::min({p.data_end(), facts_.data.end, file_.size()});
    std::uint64_t j = 0;
    // Each pass looks at one sub-payload, until one is in time or they end.
    for (std::int64_t at = p.data_offset; at < end && !file_.failed(); ++j) {
        std::array<std::uint8_t, 1> length{};
        file_.read_at(at, length);
        if (length[0] != 0 && in_time(p.offset_into_media_object + j * p.time_delta))
            return true;
        at += 1 + length[0];
    }
    return false;
}

void PacketDecoder::decode_payload(const Packet& packet, const Payload& payload) {
    if (show_) {
        view_.begin_item(payload.index, payload.offset);
        show_payload(view_, file_, packet, payload, facts_.streams[payload.stream]);
    }
    if (payload.stage == Payload::Stage::whole && payload.compressed)
        walk_sub_payloads(packet, payload);
    if (!packet.problems.empty())
        report_problems(packet, PacketProblem::Place::payload, payload.index);
    if (payload.stage == Payload::Stage::whole) {
        facts_.streams[payload.stream].key_frames |= payload.key_frame;
        check_payload(payload);
        delivery_.payload(packet, payload);
        media_objects_.fragment(packet, payload);
    }
    if (show_)
        view_.end_item();
}

// The sub-payloads of a compressed payload, each a byte of length and its
// data, up to the end of the payload, of its packet's payload area and of
// the file.
void PacketDecoder::walk_sub_payloads(const Packet& packet, const Payload& p) {
    const std::int64_t end = std::min({p.data_end(), packet.area_end, file_.size()});
    if (show_)
        view_.begin_list("Sub-Payloads", "Sub-Payload");
    std::uint64_t j = 0;
    // Each pass takes one sub-payload, until one would run past the end.
    for (std::int64_t at = p.data_offset; at < end && !file_.failed(); ++j) {
        std::array<std::uint8_t, 1> length{};
        file_.read_at(at, length);
        const std::int64_t next = at + 1 + length[0];
        if (next > end) {
            problem(at, Severity::error, codes::kPacketFill,
                    message("sub-payload ", j, " of ", length[0], " bytes runs ", next - end,
                            " bytes past its payload"));
            break;
        }
        if (show_)
            show_sub_payload(view_, p, j, at, length[0]);
        media_objects_.sub_payload(packet, p, j, at, length[0]);
        at = next;
    }
    if (show_)
        view_.end_list();
}

// ---------------------------------------------------------------------------
// Checks across payloads and packets.

void PacketDecoder::check_send_time(const Packet& packet) {
    if (!check_sequence_)
        return;
    const std::uint64_t send_time = packet.header.send_time;
    if (have_send_time_ && send_time < last_send_time_) {
        problem(packet.offset, Severity::error, codes::kSendTime,
                message("Send Time ", send_time, " ms is below the previous packet's ",
                        last_send_time_, " ms"));
    }
    have_send_time_ = true;
    last_send_time_ = send_time;
}

// A header that promises more than the packets hold: every declared packet
// is there and whole, yet the media objects span less than Play Duration
// less the preroll, by more than a second. Broadcast files keep no duration.
void PacketDecoder::check_duration() {
    const FilePropertiesFacts& fp = facts_.file_properties;
    const DataFacts& data = facts_.data;
    const auto span = media_objects_.span();
    if (!check_sequence_ || narrowed_ || fp.broadcast() || cut_ || !span ||
        data.decoded != fp.data_packets_count ||
        io::saturating_add(data.offset, data.size) > file_.size()) {
        return;
    }
    constexpr std::uint64_t kMarginMs = 1000;
    const std::uint64_t played = fp.play_duration / asf::kTicksPerMillisecond;
    const std::uint64_t declared = played > fp.preroll ? played - fp.preroll : 0;
    const std::uint64_t spanned = span->second - span->first;
    if (declared <= io::saturating_add(spanned, kMarginMs))
        return;
    problem(fp.offset, Severity::warning, codes::kDuration,
            message("Play Duration less the preroll is ", declared,
                    " ms, but the media objects span only ", spanned, " ms (", span->first, " to ",
                    span->second, " ms as stored), though every packet is there: the header ",
                    "promises ", declared - spanned, " ms more than the file holds"));
}

void PacketDecoder::check_payload(const Payload& p) {
    if (!facts_.streams[p.stream].declared && !undeclared_reported_[p.stream]) {
        undeclared_reported_[p.stream] = true;
        problem(p.offset, Severity::error, codes::kPayloadStream,
                message("a payload for stream ", p.stream,
                        ", which no Stream Properties Object declares (reported once per "
                        "stream)"));
    }
    const std::uint64_t preroll = facts_.file_properties.preroll;
    const std::uint64_t time = p.compressed ? p.offset_into_media_object : p.presentation_time;
    if ((p.has_object_fields || p.compressed) && p.starts_media_object() && time < preroll) {
        problem(p.offset, Severity::warning, codes::kPresentationTime,
                message("presentation time ", time, " ms of stream ", p.stream,
                        " is below the preroll of ", preroll, " ms"));
    }
}

}  // namespace asfinspect::decode

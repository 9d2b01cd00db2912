#include "repair/plan.hpp"

#include <algorithm>
#include <limits>

#include "answers/measures.hpp"
#include "answers/seconds.hpp"
#include "decode/decoder.hpp"
#include "decode/findings.hpp"
#include "decode/text.hpp"
#include "io/saturating.hpp"
#include "io/zeros.hpp"

namespace asfinspect::repair {

namespace codes = decode::codes;
using decode::Hex;
using decode::message;

namespace {

// Payload bytes are read for their digest this many at a time: a multiple of
// eight, so that a fragment folds the same whatever the pieces.
constexpr std::size_t kChunk = 4096;

std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

std::string packets_text(std::uint64_t first, std::uint64_t count) {
    return count == 1 ? message("packet ", first)
                      : message("packets ", first, "-", first + count - 1);
}

}  // namespace

bool Plan::header_usable() const {
    return facts.header_seen && facts.file_properties.present && facts.data.present &&
           facts.data.packet_size != 0 && !objects.empty() &&
           objects.front().type == asf::ObjectType::header;
}

bool Plan::in_range_replaced(std::uint64_t first, std::uint64_t last) const {
    // The first run that ends after `first`.
    const auto run =
        std::upper_bound(replaced.begin(), replaced.end(), first,
                         [](std::uint64_t v, const PacketRun& r) { return v < r.end(); });
    return run != replaced.end() && run->first <= last;
}

Planner::Planner(io::FileReader& file, Plan& plan, ChangeSink& changes)
    : file_(file), plan_(plan), changes_(changes) {
    plan_.file_size = file.size();
}

void Planner::say(std::int64_t offset, std::string_view code, std::string what, std::string before,
                  std::string after) {
    ++plan_.totals.changes;
    changes_.change({offset, code, std::move(what), std::move(before), std::move(after)});
}

// ---------------------------------------------------------------------------
// The objects.

void Planner::begin(const decode::Part& part) {
    if (part.kind == decode::Part::Kind::packets) {
        facts_ = part.facts;
        start_indexes();
    }
    if (part.kind != decode::Part::Kind::object)
        return;
    ++depth_;
    if (depth_ != 1)
        return;
    if (plan_.objects.size() == kMaxTopObjects) {
        plan_.too_many_objects = true;
        return;
    }
    const decode::ObjectHead& head = *part.head;
    TopObject& o = plan_.objects.emplace_back();
    o.offset = head.offset;
    o.size = head.size;
    o.type = head.known != nullptr ? head.known->object : asf::ObjectType::unknown;
    o.whole = head.size >= decode::kObjectHeaderSize && head.size <= file_.size() - head.offset;
}

void Planner::end(const decode::Part& part) {
    if (part.kind == decode::Part::Kind::object) {
        --depth_;
    } else if (part.kind == decode::Part::Kind::packets) {
        finish_packets();
    } else if (part.kind == decode::Part::Kind::file && part.summary != nullptr &&
               part.summary->facts != nullptr) {
        plan_.facts = *part.summary->facts;
        facts_ = nullptr;
    }
}

void Planner::finding(const decode::Finding& f) {
    if (f.code == codes::kNotAsf || f.code == codes::kReadError)
        plan_.unreadable = true;
    // A sub-payload that runs past its payload: the packet is noise.
    if (current_.open && f.code == codes::kPacketFill && f.offset >= current_.offset &&
        f.offset - current_.offset < static_cast<std::int64_t>(packet_size())) {
        current_.noise = true;
    }
    if (f.code == codes::kIndexPastEnd || f.code == codes::kIndexKeyFrame ||
        f.code == codes::kIndexOffset || f.code == codes::kIndexMediaObject) {
        plan_.index_faults = true;
    }
    if (f.severity != decode::Severity::error)
        return;
    if (plan_.errors++ == 0)
        plan_.first_error = message(Hex{u(f.offset)}, ": error [", f.code, "]: ", f.message);
}

std::uint32_t Planner::packet_size() const {
    return facts_ != nullptr ? facts_->data.packet_size : 0;
}

// ---------------------------------------------------------------------------
// The packets, each decided once its findings are in: when the next one
// comes, or the packets end.

void Planner::packet(const decode::Packet& p) {
    finish_packet();
    ++plan_.packets_read;
    current_.open = true;
    current_.index = p.index;
    current_.offset = p.offset;
    current_.cut = p.limit < p.offset + p.size;
    current_.noise = !p.header_whole || !p.area_valid || !p.payloads_whole;
    current_.zero = false;
    current_.lengths = false;
    current_.send_time = p.header_whole ? p.header.send_time : 0;
    current_.ended.clear();
    for (const decode::PacketProblem& problem : p.problems) {
        if (problem.severity != decode::Severity::error)
            continue;
        if (problem.code == codes::kPacketParse || problem.code == codes::kPacketFill)
            current_.noise = true;
        if (problem.code == codes::kPacketLength)
            current_.lengths = true;
    }
    for (const decode::Payload& payload : p.payloads) {
        if (payload.stage == decode::Payload::Stage::whole && facts_ != nullptr &&
            !facts_->streams[payload.stream].declared) {
            current_.noise = true;
            ++plan_.undeclared_payloads;
        }
    }
    // A zeroed packet reads as a header of zeros with a payload of stream 0.
    if (!current_.cut && p.header_whole && p.header.length_type_flags == 0 &&
        p.header.property_flags == 0 &&
        io::zeros_end(file_, p.offset, p.offset + p.size) == p.offset + p.size) {
        current_.zero = true;
    }
    if (current_.cut || current_.noise || current_.zero)
        return;
    for (const decode::Payload& payload : p.payloads) {
        if (payload.stage == decode::Payload::Stage::whole && !payload.compressed &&
            payload.has_object_fields) {
            fold_payload(p, payload);
        }
    }
}

void Planner::finish_packet() {
    if (!current_.open)
        return;
    current_.open = false;
    const std::uint64_t k = current_.index;
    if (current_.cut) {
        close_run();
        cut_at_ = std::min(cut_at_, k);
        plan_.cut = true;
        say(current_.offset, changes::kCutPacket,
            message("packet ", k, ", cut short by the end of the file after ",
                    file_.size() - current_.offset, " of its ", packet_size(), " bytes"),
            "partial", "dropped");
    } else if (current_.noise || current_.zero) {
        replace(k, current_.zero && !current_.noise);
    } else {
        close_run();
        last_send_time_ = current_.send_time;
        if (current_.lengths) {
            mark_rewritten(k);
            say(current_.offset, changes::kPacketLengths,
                message("packet ", k,
                        ": its Packet Length and Padding Length contradict each other"),
                "as written", message("Packet Length ", packet_size(), ", padding to match"));
        }
    }
    // Each media object that the packet ends, decided now that the packet is.
    for (const decode::MediaObject& m : current_.ended)
        decide(m);
    current_.ended.clear();
}

void Planner::replace(std::uint64_t packet, bool zero) {
    if (run_.count != 0 && (run_.end() != packet || run_zero_ != zero))
        close_run();
    if (run_.count == 0) {
        run_ = {packet, 0, last_send_time_};
        run_zero_ = zero;
    }
    ++run_.count;
}

// Says the run of replaced packets that just ended and keeps it in the plan.
// A run of zero packets that ends the data is dropped instead: a
// preallocated file that the recorder never filled.
void Planner::close_run(bool at_end) {
    if (run_.count == 0)
        return;
    const std::int64_t offset =
        facts_ != nullptr ? facts_->data.first_packet +
                                static_cast<std::int64_t>(run_.first) * facts_->data.packet_size
                          : 0;
    if (at_end && run_zero_) {
        zero_tail_ = run_.first;
        say(offset, changes::kZeroPackets,
            message(packets_text(run_.first, run_.count), ", zero bytes after the last packet"),
            message(run_.count * packet_size(), " bytes"), "dropped");
    } else {
        plan_.replaced.push_back(run_);
        plan_.totals.packets_replaced += run_.count;
        say(offset, run_zero_ ? changes::kZeroPackets : changes::kNoisePacket,
            message(packets_text(run_.first, run_.count),
                    run_zero_ ? ", all zero bytes" : ", which can't be read as packets"),
            run_zero_ ? "zeros" : "noise", "padding only");
    }
    run_ = {};
}

bool Planner::replaced_pending(std::uint64_t first, std::uint64_t last) const {
    return plan_.in_range_replaced(first, last) ||
           (run_.count != 0 && run_.first <= last && first < run_.end());
}

void Planner::mark_rewritten(std::uint64_t packet) {
    if (plan_.rewritten.empty() || plan_.rewritten.back() != packet)
        plan_.rewritten.push_back(packet);
}

// ---------------------------------------------------------------------------
// The media objects: whole ones are kept (and digested, and indexed when they
// are key frames); partial ones are removed from the packets that hold them.

void Planner::fold_payload(const decode::Packet& packet, const decode::Payload& p) {
    const auto number = static_cast<std::uint32_t>(p.media_object_number);
    std::vector<Fragment>& fragments = fragments_[p.stream];
    fragments.push_back({number, packet.index, p.offset});
    std::vector<OpenDigest>& digests = digests_[p.stream];
    auto open = std::find_if(digests.begin(), digests.end(),
                             [&](const OpenDigest& d) { return d.number == number; });
    if (open == digests.end()) {
        digests.push_back({number, 0});
        open = digests.end() - 1;
    }
    const std::int64_t end = std::min({p.data_end(), packet.limit, packet.area_end});
    open->value = seal(open->value ^ digest_of_bytes(p.data_offset, u(end - p.data_offset)),
                       u(end - p.data_offset));
}

std::uint64_t Planner::digest_of_bytes(std::int64_t offset, std::uint64_t size) {
    chunk_.resize(kChunk);
    std::uint64_t h = 0;
    const std::int64_t end = io::saturating_add(offset, static_cast<std::int64_t>(size));
    // Each pass folds one chunk of the bytes.
    for (std::int64_t at = offset; at < end && !file_.failed();
         at += static_cast<std::int64_t>(kChunk)) {
        const auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(end - at, std::int64_t{kChunk}));
        file_.read_at(at, std::span(chunk_).first(n));
        h = fold(h, std::span(chunk_).first(n));
    }
    return seal(h, size);
}

void Planner::media_object(const decode::MediaObject& m) {
    // Its last packet may still turn out to be noise.
    if (current_.open && m.last_packet == current_.index) {
        current_.ended.push_back(m);
        return;
    }
    decide(m);
}

void Planner::decide(const decode::MediaObject& m) {
    const bool partial =
        !m.whole || replaced_pending(m.first_packet, m.last_packet) || m.last_packet >= cut_at_;
    std::vector<OpenDigest>& digests = digests_[m.stream];
    const auto open = std::find_if(digests.begin(), digests.end(),
                                   [&](const OpenDigest& d) { return d.number == m.number; });
    if (partial) {
        drop(m);
    } else {
        keep(m,
             open != digests.end() ? open->value : seal(digest_of_bytes(m.offset, m.size), m.size));
    }
    if (open != digests.end())
        digests.erase(open);
    std::vector<Fragment>& fragments = fragments_[m.stream];
    std::erase_if(fragments, [&](const Fragment& f) {
        return f.number == m.number && f.packet <= m.last_packet;
    });
}

void Planner::keep(const decode::MediaObject& m, std::uint64_t value) {
    ++plan_.totals.objects_kept;
    plan_.kept.add(m.stream, m.number, m.presentation_time, m.size, value);
    plan_.measures[m.stream].add(m);
    if (plan_.index_object)
        plan_.index_object->media_object(m.stream, m.presentation_time, m.first_packet,
                                         m.last_packet, m.key_frame);
    if (!m.key_frame)
        return;
    for (SimpleIndexBuilder& index : plan_.simple_indexes) {
        if (index.stream() == m.stream)
            index.key_frame(m.presentation_time, m.first_packet, m.last_packet);
    }
}

void Planner::drop(const decode::MediaObject& m) {
    ++plan_.totals.objects_dropped;
    ++plan_.totals.dropped_by_stream[m.stream];
    if (plan_.totals.dropped_by_stream[m.stream] == 1)
        plan_.totals.first_dropped_time[m.stream] = m.presentation_time;
    std::uint64_t removed = 0;
    for (const Fragment& f : fragments_[m.stream]) {
        if (f.number != m.number || f.packet < m.first_packet || f.packet > m.last_packet ||
            f.packet >= cut_at_ || replaced_pending(f.packet, f.packet)) {
            continue;
        }
        remove_payload(f.packet, f.payload);
        ++removed;
    }
    const std::uint64_t preroll = facts_ != nullptr ? facts_->file_properties.preroll : 0;
    const std::int64_t shown = answers::player_time(m.presentation_time, preroll);
    say(m.offset, changes::kMediaObject,
        message("media object ", m.number, " of stream ", m.stream, " at ",
                answers::seconds_for_people(answers::ticks_of_ms(shown)).view(), ", ", m.size,
                " of its ", m.size_declared, " bytes in ",
                packets_text(m.first_packet, m.last_packet - m.first_packet + 1)),
        // Whole as read, but in a packet that is dropped or can't be trusted.
        m.whole ? "in a packet lost" : "partial",
        removed == 0
            ? std::string("dropped with its packets")
            : message(removed, removed == 1 ? " fragment" : " fragments", " made padding"));
}

void Planner::stray_fragment(const decode::Packet& packet, const decode::Payload& p) {
    std::erase_if(fragments_[p.stream], [&](const Fragment& f) { return f.payload == p.offset; });
    std::erase_if(digests_[p.stream], [&](const OpenDigest& d) {
        return d.number == static_cast<std::uint32_t>(p.media_object_number);
    });
    if (current_.noise || current_.zero || current_.cut)
        return;
    remove_payload(packet.index, p.offset);
    say(p.offset, changes::kMediaObject,
        message("a fragment of media object ", p.media_object_number, " of stream ", p.stream,
                " in packet ", packet.index, ", whose earlier fragments are lost"),
        "partial", "made padding");
}

void Planner::remove_payload(std::uint64_t packet, std::int64_t payload) {
    plan_.removed.push_back(payload);
    mark_rewritten(packet);
}

// ---------------------------------------------------------------------------
// The end of the packets.

void Planner::start_indexes() {
    if (facts_ == nullptr)
        return;
    const decode::IndexParametersFacts& parameters = facts_->index_parameters;
    if (parameters.present && !parameters.specifiers.empty()) {
        plan_.index_object.emplace(parameters.interval, parameters.specifiers,
                                   facts_->file_properties.preroll);
    }
    for (std::uint8_t s = 1; s < decode::kStreamNumbers; ++s) {
        const decode::StreamFacts& stream = facts_->streams[s];
        if (!stream.declared || stream.kind != decode::StreamKind::video)
            continue;
        plan_.simple_indexes.emplace_back(s, kDefaultIndexInterval,
                                          facts_->file_properties.preroll);
    }
}

void Planner::finish_packets() {
    finish_packet();
    close_run(true);
    // Media objects told after the last packet (those the end of the data cut
    // off) are decided in finish_packet; nothing is pending now.
    plan_.packets_out = std::min({plan_.packets_read, cut_at_, zero_tail_});
    plan_.totals.packets_dropped = plan_.packets_read - plan_.packets_out;
    // A media object dropped when its last packet ends marks its earlier
    // packets after those that other streams' drops marked meanwhile.
    std::sort(plan_.rewritten.begin(), plan_.rewritten.end());
    plan_.rewritten.erase(std::unique(plan_.rewritten.begin(), plan_.rewritten.end()),
                          plan_.rewritten.end());
    plan_.totals.packets_rewritten = plan_.rewritten.size();
    plan_.totals.packets_kept =
        plan_.packets_out - plan_.totals.packets_replaced - plan_.totals.packets_rewritten;
    plan_.last_send_time = last_send_time_;
}

namespace {

// Whether a video stream has no index: no Simple Index Object of its own, and
// no Index Object.
bool video_unindexed(const decode::Facts& facts) {
    for (std::uint8_t s = 1; s < decode::kStreamNumbers; ++s) {
        if (!facts.streams[s].declared || facts.streams[s].kind != decode::StreamKind::video)
            continue;
        const bool indexed =
            std::any_of(facts.indexes.kept.begin(), facts.indexes.kept.end(),
                        [&](const decode::IndexFacts& index) {
                            return index.type == asf::ObjectType::index ||
                                   std::find(index.streams.begin(), index.streams.end(), s) !=
                                       index.streams.end();
                        });
        if (!indexed)
            return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// After the decode: the fields that describe the whole file, and the indexes.

namespace {

// The Play and Send Duration of the media objects kept, in 100 ns: the play
// to where the last of them ends, as the answers measure each stream's end
// (the preroll included, as ASF counts it), the send to that less the
// preroll, or to the last packet's send time when that is later.
struct Durations {
    std::uint64_t play = 0;
    std::uint64_t send = 0;
};

Durations measured_durations(const Plan& plan) {
    std::int64_t end = 0;
    for (std::size_t s = 0; s < plan.measures.size(); ++s) {
        if (plan.measures[s].objects() != 0)
            end = std::max(end, plan.measures[s].end(plan.facts.streams[s]));
    }
    // Both at least 0 (a preroll past 2^63 ms is taken as the largest), so
    // that end less the preroll can't overflow.
    const auto ticks = [](std::uint64_t ms) {
        return answers::ticks_of_ms(static_cast<std::int64_t>(
            std::min<std::uint64_t>(ms, std::numeric_limits<std::int64_t>::max())));
    };
    const std::int64_t preroll = ticks(plan.facts.file_properties.preroll);
    const std::int64_t sent = ticks(plan.last_send_time);
    Durations d;
    d.play = static_cast<std::uint64_t>(std::max<std::int64_t>(end, 0));
    d.send = static_cast<std::uint64_t>(std::max<std::int64_t>({end - preroll, sent, 0}));
    return d;
}

void set_field(ChangeSink& changes, Totals& totals, std::optional<std::uint64_t>& field,
               std::int64_t offset, std::string_view code, std::string_view name, std::uint64_t was,
               std::uint64_t value) {
    if (was == value)
        return;
    field = value;
    ++totals.changes;
    changes.change({offset, code, std::string(name), message(was), message(value)});
}

}  // namespace

bool Plan::keeps(const TopObject& o) const {
    if (!o.whole || o.type == asf::ObjectType::header || o.type == asf::ObjectType::data)
        return false;
    if (!rebuild_indexes)
        return true;
    return o.type != asf::ObjectType::simple_index &&
           (o.type != asf::ObjectType::index || !index_object);
}

std::int64_t Plan::simple_index_size(const SimpleIndexBuilder& index) {
    return asf::object_format::kSimpleIndexHeadSize +
           static_cast<std::int64_t>(index.entries()) * asf::object_format::kSimpleIndexEntrySize;
}

std::int64_t Plan::out_size() const {
    std::int64_t size = header_size + data_size();
    for (const TopObject& o : objects) {
        if (keeps(o))
            size += o.size;
    }
    if (rebuild_indexes) {
        for (const SimpleIndexBuilder& index : simple_indexes)
            size += simple_index_size(index);
        if (index_object)
            size += index_object->size();
    }
    return size;
}

std::int64_t Plan::data_size() const {
    return asf::object_format::kDataObjectHeadSize +
           static_cast<std::int64_t>(packets_out) * facts.data.packet_size;
}

void settle_fields(Plan& plan, ChangeSink& changes, bool measure) {
    namespace of = asf::object_format;
    const decode::FilePropertiesFacts& fp = plan.facts.file_properties;
    const decode::DataFacts& data = plan.facts.data;
    Totals& totals = plan.totals;
    for (const TopObject& o : plan.objects) {
        if (o.type == asf::ObjectType::header && plan.header_size == 0)
            plan.header_size = o.size;
        const bool second =
            (o.type == asf::ObjectType::header && o.offset != plan.objects.front().offset) ||
            (o.type == asf::ObjectType::data && o.offset != data.offset);
        if (second) {
            ++totals.changes;
            changes.change({o.offset, changes::kTrailingData,
                            message("a second ", o.type == asf::ObjectType::header ? "Header Object"
                                                                                   : "Data Object"),
                            message(o.size, " bytes"), "dropped"});
        }
        if (!o.whole && o.type != asf::ObjectType::data && o.size >= decode::kObjectHeaderSize) {
            ++totals.changes;
            changes.change({o.offset, changes::kTrailingData,
                            message("an object cut short by the end of the file, ",
                                    plan.file_size - o.offset, " of its ", o.size, " bytes"),
                            "partial", "dropped"});
        }
    }
    // Bytes that are in no object: after the last one, or between them.
    std::int64_t covered = 0;
    for (const TopObject& o : plan.objects) {
        covered += o.type == asf::ObjectType::data ? std::min(data.end, plan.file_size) - o.offset
                   : o.whole                       ? o.size
                   : o.size >= decode::kObjectHeaderSize ? plan.file_size - o.offset
                                                         : 0;
    }
    if (covered < plan.file_size) {
        ++totals.changes;
        changes.change({data.end, changes::kTrailingData, "bytes in no object",
                        message(plan.file_size - covered, " bytes"), "dropped"});
    }
    // A broadcast file has no index: its packets may run past its Data Object
    // up to the end of the file. Rewritten lengths move no key frame.
    const bool unindexed = !fp.broadcast() && video_unindexed(plan.facts);
    const bool changed_before_indexes = totals.changes != 0;
    const bool packets_lost = plan.cut || totals.packets_replaced != 0 ||
                              totals.packets_dropped != 0 || totals.objects_dropped != 0 ||
                              plan.borrowed_header;
    plan.rebuild_indexes = !fp.broadcast() && (!plan.simple_indexes.empty() || plan.index_object) &&
                           (packets_lost || plan.index_faults || unindexed);
    if (plan.rebuild_indexes) {
        // The entries reach the end of the last media object kept, the preroll
        // included as in the Play Duration, whatever the header says.
        const std::uint64_t played = measured_durations(plan).play;
        for (SimpleIndexBuilder& index : plan.simple_indexes) {
            index.finish(std::min(played / index.interval() + 1, kMaxIndexEntries));
            ++totals.indexes_rebuilt;
            ++totals.changes;
            changes.change(
                {std::min(data.end, plan.file_size), changes::kIndex,
                 message("Simple Index Object of stream ", index.stream(), ", ", index.entries(),
                         " entries ", index.interval(), " (100 ns) apart"),
                 unindexed && !plan.index_faults && !changed_before_indexes ? "none" : "as it was",
                 "rebuilt from the key frames kept"});
        }
        if (plan.index_object) {
            std::array<bool, decode::kStreamNumbers> marks{};
            for (std::size_t s = 0; s < marks.size(); ++s)
                marks[s] = plan.facts.streams[s].key_frames;
            IndexObjectBuilder& index = *plan.index_object;
            index.finish(played / (std::uint64_t{index.interval()} * kTicksPerMillisecond) + 1,
                         marks, data.packet_size);
            ++totals.indexes_rebuilt;
            ++totals.changes;
            changes.change(
                {std::min(data.end, plan.file_size), changes::kIndex,
                 message("Index Object of ", index.specifiers().size(),
                         index.specifiers().size() == 1 ? " specifier, " : " specifiers, ",
                         index.entries(), " entries ", index.interval(), " ms apart"),
                 "as it was", "rebuilt from the media objects kept"});
        }
    }
    if (plan.borrowed_header && data.file_id != fp.file_id) {
        plan.fields.data_file_id = fp.file_id;
        ++totals.changes;
        changes.change({data.offset + of::kDataFileIdOffset, changes::kHeader,
                        "the Data Object's File ID", "the file's own",
                        "the File Properties' of the header lent"});
    }
    if (fp.broadcast())
        return;  // sizes, counts and durations are not kept
    const std::uint64_t n = plan.packets_out;
    set_field(changes, totals, plan.fields.packets,
              fp.offset + of::file_properties::kDataPacketsCount, changes::kPacketCount,
              "Data Packets Count", fp.data_packets_count, n);
    if (plan.fields.packets || data.total_data_packets != n) {
        plan.fields.packets = n;
        if (data.total_data_packets != n) {
            ++totals.changes;
            changes.change({data.offset + of::kTotalDataPacketsOffset, changes::kPacketCount,
                            "Total Data Packets", message(data.total_data_packets), message(n)});
        }
    }
    set_field(changes, totals, plan.fields.data_size,
              data.offset + static_cast<std::int64_t>(of::kSizeFieldOffset), changes::kDataSize,
              "Data Object size", u(data.size), u(plan.data_size()));
    if (measure) {
        const Durations d = measured_durations(plan);
        set_field(changes, totals, plan.fields.play_duration,
                  fp.offset + of::file_properties::kPlayDuration, changes::kPlayDuration,
                  "Play Duration (100 ns)", fp.play_duration, d.play);
        set_field(changes, totals, plan.fields.send_duration,
                  fp.offset + of::file_properties::kSendDuration, changes::kSendDuration,
                  "Send Duration (100 ns)", fp.send_duration, d.send);
    }
    set_field(changes, totals, plan.fields.file_size, fp.offset + of::file_properties::kFileSize,
              changes::kFileSize, "File Size", fp.file_size, u(plan.out_size()));
}

void plan_repair(io::FileReader& file, Plan& plan, ChangeSink& changes, std::string_view path,
                 bool measure) {
    plan.borrowed_header = measure;
    {
        Planner planner(file, plan, changes);
        decode::decode_file(file, planner, planner, path);
    }
    if (plan.unreadable || !plan.header_usable() || plan.too_many_objects)
        return;
    const decode::FilePropertiesFacts& fp = plan.facts.file_properties;
    const bool lost = plan.cut || (!fp.broadcast() && fp.data_packets_count > plan.packets_out);
    std::sort(plan.removed.begin(), plan.removed.end());
    settle_fields(plan, changes, measure || lost);
}

}  // namespace asfinspect::repair

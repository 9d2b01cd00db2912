// The index objects and their parameters. The index objects follow the Data
// Object, so their entries are checked against the packets where they are
// read: each points at a packet that is there and, for an index of
// cleanpoints, at one where a key frame of the indexed stream starts. An
// entry of a Media Object Index or a Timecode Index stands for a media
// object: it points where one of its stream starts (Nearest Past Media
// Object) or at a packet holding a payload of it (Nearest Past Data Packet).

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "asf/sentinels.hpp"
#include "asf/time_units.hpp"
#include "decode/context.hpp"
#include "decode/findings.hpp"
#include "decode/objects/shared.hpp"
#include "decode/packets/key_frames.hpp"
#include "decode/text.hpp"
#include "io/saturating.hpp"

namespace asfinspect::decode::objects {

namespace {

using io::saturating_add;
using io::saturating_multiply;

using asf::object_format::kNearestPastCleanpoint;
using asf::object_format::kNearestPastDataPacket;
using asf::object_format::kNearestPastMediaObject;
constexpr EnumName kIndexTypes[] = {
    {kNearestPastDataPacket, "Nearest Past Data Packet"},
    {kNearestPastMediaObject, "Nearest Past Media Object"},
    {kNearestPastCleanpoint, "Nearest Past Cleanpoint"},
};

// Stream Number and Index Type.
constexpr std::uint64_t kSpecifierBytes = 4;
// Packet Number and Packet Count.
constexpr std::uint64_t kSimpleIndexEntryBytes = 6;
// Index Entry Count, then a Block Position per specifier.
constexpr std::uint64_t kIndexBlockLeast = 4;
constexpr std::uint64_t kBlockPositionBytes = 8;
constexpr std::uint64_t kOffsetBytes = 4;
constexpr std::uint64_t kTimecodeRangeBytes = 2;
constexpr std::uint64_t kTimecodeBytes = 4;
using asf::kTicksPerMillisecond;
using asf::sentinels::kNoIndexEntry;
// Entries whose packets an index check holds before it probes them; their
// sort keys hold the packet, the stream and the place in the queue.
constexpr int kQueueBits = 15;
constexpr std::size_t kQueuedProbes = std::size_t{1} << kQueueBits;
constexpr int kKeyStreamBits = 7;
constexpr int kKeyPacketShift = kQueueBits + kKeyStreamBits;
// How many keys ahead the probe's memory of a packet is fetched.
constexpr std::size_t kLookAhead = 8;

// What the packet an entry points at must hold of the entry's stream, beyond
// being there.
enum class Points : std::uint8_t { packet, payload, media_object, key_frame };

// What an index entry refers to: a stream, and what it points at; and the
// specifier as it was read.
struct Specifier {
    std::uint16_t stream = 0;
    Points points = Points::packet;
    IndexSpecifierFacts read;
};

std::vector<IndexSpecifierFacts> kept_specifiers(const std::vector<Specifier>& specifiers) {
    std::vector<IndexSpecifierFacts> kept;
    for (std::size_t i = 0; i < specifiers.size() && i < kMaxKeptSpecifiers; ++i)
        kept.push_back(specifiers[i].read);
    return kept;
}

// Checks the packets that the entries of one index object point at, and
// reports each kind of fault once, with how many entries have it and the
// first of them, so that an index that is wrong throughout takes a line.
//
// Key frames are looked for only in streams that mark them: encoders index
// audio streams by cleanpoints, yet set the key-frame bit on no audio
// payload. When every packet was decoded, the facts tell which streams set
// it on some payload; otherwise the probes do, and a stream counts as marking
// key frames once a probed packet starts one of it.
class EntryChecks {
  public:
    explicit EntryChecks(FieldReader& r)
        : r_(r),
          data_(r.facts().data),
          // A run that reads the header alone reads no packet for its index.
          active_(data_.present && data_.packet_size != 0 && r.context().findings_wanted() &&
                  !r.context().options().packets.empty),
          every_packet_(data_.decoded == data_.packets) {
        if (every_packet_) {
            for (std::size_t s = 0; s < kStreamNumbers; ++s)
                marked_[s] = r.facts().streams[s].key_frames;
        }
    }

    // An entry pointing at packet `packet`.
    void packet(std::uint64_t entry, std::uint64_t packet, const Specifier& s, std::int64_t at) {
        if (!active_)
            return;
        ++checked_;
        if (packet >= data_.packets) {
            past_end_.add(entry, packet, s.stream, at);
        } else if (s.stream == 0 || s.points == Points::packet) {
            return;
        } else if (s.points != Points::key_frame) {
            queue(entry, packet, s, at);
        } else {
            tested_.set(s.stream);
            if (!every_packet_ || marked_.test(s.stream))
                queue(entry, packet, s, at);
        }
    }

    // An entry pointing `position` bytes after the start of the first packet.
    void position(std::uint64_t entry, std::uint64_t position, const Specifier& s,
                  std::int64_t at) {
        if (!active_)
            return;
        if (position % data_.packet_size != 0) {
            ++checked_;
            between_.add(entry, position, s.stream, at);
            return;
        }
        packet(entry, position / data_.packet_size, s, at);
    }

    void report() {
        probe_queued();
        const StreamSet unmarked = tested_ & ~marked_;
        if (unmarked.any())
            r_.show_text("Key Frame Check", not_made(unmarked));
        Tally no_key_frame;
        for (std::size_t s = 0; s < kStreamNumbers; ++s) {
            if (marked_.test(s))
                no_key_frame.add(misses_[s]);
        }
        if (past_end_.count != 0) {
            r_.finding(
                Severity::error, codes::kIndexPastEnd,
                message(past_end_.count, " of ", checked_,
                        " index entries point past the last packet (the data holds ", data_.packets,
                        "); the first is entry ", past_end_.entry, ", at packet ", past_end_.value),
                past_end_.at);
        }
        if (between_.count != 0) {
            r_.finding(
                Severity::error, codes::kIndexOffset,
                message(between_.count, " of ", checked_,
                        " index entries point between packets; the first is entry ", between_.entry,
                        ", ", between_.value, " bytes into the packets, which are ",
                        data_.packet_size, " bytes each"),
                between_.at);
        }
        report_media_objects();
        if (no_key_frame.count != 0) {
            r_.finding(Severity::error, codes::kIndexKeyFrame,
                       message(no_key_frame.count, " of ", checked_,
                               " index entries point at a packet where no key frame of their "
                               "stream starts; the first is entry ",
                               no_key_frame.entry, ", at packet ", no_key_frame.value,
                               ", for stream ", no_key_frame.stream),
                       no_key_frame.at);
        }
    }

  private:
    void report_media_objects() {
        if (no_object_.count != 0) {
            r_.finding(Severity::error, codes::kIndexMediaObject,
                       message(no_object_.count, " of ", checked_,
                               " index entries point at a packet where no media object of their "
                               "stream starts; the first is entry ",
                               no_object_.entry, ", at packet ", no_object_.value, ", for stream ",
                               no_object_.stream),
                       no_object_.at);
        }
        if (no_payload_.count != 0) {
            r_.finding(Severity::error, codes::kIndexMediaObject,
                       message(no_payload_.count, " of ", checked_,
                               " index entries point at a packet that holds no payload of their "
                               "stream; the first is entry ",
                               no_payload_.entry, ", at packet ", no_payload_.value,
                               ", for stream ", no_payload_.stream),
                       no_payload_.at);
        }
    }

    struct Tally {
        std::uint64_t count = 0;
        std::uint64_t entry = 0;
        std::uint64_t value = 0;
        std::uint16_t stream = 0;
        std::int64_t at = -1;

        // Keeps the entry that comes first in the file.
        void add(std::uint64_t e, std::uint64_t v, std::uint16_t s, std::int64_t offset) {
            if (count++ == 0 || offset < at) {
                entry = e;
                value = v;
                stream = s;
                at = offset;
            }
        }
        void add(const Tally& other) {
            if (other.count == 0)
                return;
            const std::uint64_t before = count;
            add(other.entry, other.value, other.stream, other.at);
            count = before + other.count;
        }
    };

    // Why the entries of the `unmarked` streams were not checked against key
    // frames.
    std::string not_made(const StreamSet& unmarked) const {
        std::string text = unmarked.count() == 1 ? "not made: stream " : "not made: streams ";
        std::size_t listed = 0;
        for (std::size_t s = 0; s < kStreamNumbers; ++s) {
            if (!unmarked.test(s))
                continue;
            ++listed;
            text += listed == 1 ? "" : listed == unmarked.count() ? " and " : ", ";
            text += std::to_string(s);
        }
        const bool one = unmarked.count() == 1;
        text += every_packet_ ? (one ? " sets the key-frame bit on no payload"
                                     : " set the key-frame bit on no payload")
                              : (one ? " starts no key frame in the packets its entries point at, "
                                       "and not every packet was decoded"
                                     : " start no key frame in the packets their entries point "
                                       "at, and not every packet was decoded");
        return text;
    }

    // An entry whose packet is to be probed for what it holds of its stream.
    struct Queued {
        std::uint64_t entry = 0;
        std::int64_t at = 0;
        Points points = Points::packet;
    };

    void queue(std::uint64_t entry, std::uint64_t packet, const Specifier& s, std::int64_t at) {
        // A packet number too large for a key (a file of petabytes) is
        // probed at once.
        if (packet >> (64 - kKeyPacketShift) != 0) {
            const PacketStreams in = r_.context().key_frame_probe().streams(packet);
            marked_ |= in.key_frame_starts;
            judge(in, {entry, at, s.points}, packet, s.stream);
            return;
        }
        keys_.push_back(packet << kKeyPacketShift | std::uint64_t{s.stream} << kQueueBits |
                        queued_.size());
        queued_.push_back({entry, at, s.points});
        if (queued_.size() == kQueuedProbes)
            probe_queued();
    }

    // Tallies the entry when its packet lacks what it must hold.
    void judge(const PacketStreams& in, const Queued& q, std::uint64_t packet,
               std::uint16_t stream) {
        switch (q.points) {
            case Points::packet:
                break;
            case Points::payload:
                if (!in.payloads.test(stream))
                    no_payload_.add(q.entry, packet, stream, q.at);
                break;
            case Points::media_object:
                if (!in.object_starts.test(stream))
                    no_object_.add(q.entry, packet, stream, q.at);
                break;
            case Points::key_frame:
                if (!in.key_frame_starts.test(stream))
                    misses_[stream].add(q.entry, packet, stream, q.at);
                break;
        }
    }

    // Sorts the keys by their digits from the lowest, in as many passes as
    // the largest key has digits; faster than comparisons for a full batch.
    void sort_keys() {
        constexpr int kDigitBits = 11;
        constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
        const std::uint64_t largest = *std::max_element(keys_.begin(), keys_.end());
        sorted_.resize(keys_.size());
        for (int shift = 0; shift < 64 && (largest >> shift) != 0; shift += kDigitBits) {
            std::array<std::uint32_t, kDigits + 1> starts{};
            for (const std::uint64_t key : keys_)
                ++starts[(key >> shift & (kDigits - 1)) + 1];
            for (std::size_t d = 1; d <= kDigits; ++d)
                starts[d] += starts[d - 1];
            for (const std::uint64_t key : keys_)
                sorted_[starts[key >> shift & (kDigits - 1)]++] = key;
            keys_.swap(sorted_);
        }
    }

    // Probes the packets of the queued entries in the order of the data, each
    // packet once for all its streams, so that the probes read the data
    // forward, once per batch, however the entries scatter over it. The queue
    // holds a bounded batch, so an index's memory doesn't grow with its
    // entries.
    void probe_queued() {
        if (keys_.empty())
            return;
        KeyFrameProbe& probe = r_.context().key_frame_probe();
        sort_keys();
        PacketStreams in;
        std::uint64_t probed = 0;
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (i + kLookAhead < keys_.size())
                probe.prefetch(keys_[i + kLookAhead] >> kKeyPacketShift);
            const std::uint64_t packet = keys_[i] >> kKeyPacketShift;
            if (i == 0 || packet != probed) {
                in = probe.streams(packet);
                marked_ |= in.key_frame_starts;
            }
            probed = packet;
            const auto stream =
                static_cast<std::uint16_t>(keys_[i] >> kQueueBits & ((1u << kKeyStreamBits) - 1));
            judge(in, queued_[keys_[i] & (kQueuedProbes - 1)], packet, stream);
        }
        keys_.clear();
        queued_.clear();
    }

    FieldReader& r_;
    const DataFacts& data_;
    bool active_;
    bool every_packet_;  // was decoded before the index
    StreamSet marked_;   // streams known to set the key-frame bit
    StreamSet tested_;   // streams whose entries were to be checked for key frames
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint64_t> sorted_;  // the other half of each pass of sort_keys
    std::vector<Queued> queued_;
    std::uint64_t checked_ = 0;
    Tally past_end_;
    Tally between_;
    Tally no_object_;   // entries where no media object of their stream starts
    Tally no_payload_;  // entries at a packet without a payload of their stream
    std::array<Tally, kStreamNumbers> misses_{};  // of key frames, by stream
};

// A File ID of zero is allowed; players ignore the field, and tagging tools
// are known to leave other values in it.
void check_file_id(FieldReader& r, const asf::Guid& id, std::int64_t at) {
    const FilePropertiesFacts& fp = r.facts().file_properties;
    if (!fp.present || id == asf::Guid{} || id == fp.file_id)
        return;
    r.finding(Severity::warning, codes::kFileId,
              "the File ID is neither zero nor the file's (players ignore it here)", at);
}

// Whether `entries` entries of `interval` (100 ns) each reach the end of the
// Play Duration. Entry i stands for the time i intervals into the file, so
// the entries span `entries` intervals; the last one ends within the
// interval after it.
void check_coverage(FieldReader& r, std::uint64_t interval, std::uint64_t entries,
                    std::int64_t at) {
    const FilePropertiesFacts& fp = r.facts().file_properties;
    if (!fp.present || fp.broadcast() || fp.play_duration == 0)
        return;
    if (interval == 0) {
        r.finding(Severity::warning, codes::kIndexCoverage,
                  "Index Entry Time Interval is 0, so the index covers no time", at);
        return;
    }
    const std::uint64_t covered = saturating_multiply(interval, entries);
    if (saturating_add(covered, interval) >= fp.play_duration)
        return;
    r.finding(Severity::warning, codes::kIndexCoverage,
              message(entries, " entries ", interval, " (100 ns) apart cover ", covered,
                      " of the Play Duration's ", fp.play_duration,
                      " (100 ns); seeking past them finds no entry"),
              at);
}

void undeclared_stream(FieldReader& r, std::uint16_t stream, std::int64_t at) {
    const Facts& facts = r.facts();
    if (!facts.header_seen || stream == 0 || stream >= kStreamNumbers ||
        facts.streams[stream].declared) {
        return;
    }
    r.finding(Severity::error, codes::kUndeclaredStream,
              message("the index specifier names stream ", stream,
                      ", which no Stream Properties Object declares"),
              at);
}

// What an entry of an index of `type` points at: key frames in any index;
// in an index of media objects (by number or by timecode), the media object.
Points points_of(std::uint64_t type, bool media_objects) {
    if (type == kNearestPastCleanpoint)
        return Points::key_frame;
    if (!media_objects)
        return Points::packet;
    if (type == kNearestPastMediaObject)
        return Points::media_object;
    return type == kNearestPastDataPacket ? Points::payload : Points::packet;
}

// Reads an index specifier: in the header, the stream is checked when the
// header ends; in an index object, which follows the header, at once.
std::optional<Specifier> index_specifier(FieldReader& r, bool in_header, bool media_objects) {
    const std::int64_t at = r.position();
    const auto stream = r.u16("Stream Number");
    const auto type = r.enumerated("Index Type", 2, kIndexTypes);
    if (!r.ok())
        return std::nullopt;
    check_stream_number(r, *stream, at);
    if (in_header) {
        check_stream_reference(r, StreamReference::index_specifier, *stream, at);
    } else {
        undeclared_stream(r, *stream, at);
    }
    const bool known =
        *stream != 0 && *stream < kStreamNumbers && r.facts().streams[*stream].declared;
    return Specifier{known ? *stream : std::uint16_t{0},
                     points_of(*type, media_objects),
                     {*stream, static_cast<std::uint16_t>(*type)}};
}

// The specifiers, kept as they are read (not sized by their count).
std::vector<Specifier> index_specifiers(FieldReader& r, std::uint16_t count, std::int64_t count_at,
                                        bool in_header, bool media_objects = false) {
    std::vector<Specifier> specifiers;
    check_record_count(r, "Index Specifiers Count", count, kSpecifierBytes, count_at);
    r.begin_list("Index Specifiers", "Index Specifier");
    for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        if (const auto s = index_specifier(r, in_header, media_objects))
            specifiers.push_back(*s);
        r.end_item();
    }
    r.end_list();
    return specifiers;
}

// Returns the interval and the specifiers, as far as they were read.
std::pair<std::uint32_t, std::vector<Specifier>> index_parameters_layout(FieldReader& r,
                                                                         const Key& interval,
                                                                         Unit unit) {
    const auto every = r.u32(interval, unit);
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Index Specifiers Count");
    if (!count)
        return {every.value_or(0), {}};
    std::vector<Specifier> specifiers = index_specifiers(r, *count, count_at, true);
    check_leftover(r);
    return {every.value_or(0), std::move(specifiers)};
}

// The three indexes of offsets into the packets, by time, by media object
// and by timecode, differ only in a few fields.
enum class OffsetIndex : std::uint8_t { time, media_object, timecode };

asf::ObjectType object_type(OffsetIndex kind) {
    switch (kind) {
        case OffsetIndex::time:
            return asf::ObjectType::index;
        case OffsetIndex::media_object:
            return asf::ObjectType::media_object_index;
        case OffsetIndex::timecode:
            break;
    }
    return asf::ObjectType::timecode_index;
}

// The offsets of one entry, one per specifier.
void entry_offsets(FieldReader& r, std::uint64_t entry, const std::vector<Specifier>& specifiers,
                   const std::vector<std::uint64_t>& positions, EntryChecks& checks) {
    r.begin_list("Offsets", "Offset");
    for (std::size_t j = 0; j < specifiers.size() && r.ok(); ++j) {
        r.begin_item(j, r.position());
        const std::int64_t at = r.position();
        const auto offset = r.uint("Offset", 4, Unit::none, asf::sentinels::kIndexOffset);
        if (offset && *offset != kNoIndexEntry)
            checks.position(entry, saturating_add(positions[j], *offset), specifiers[j], at);
        r.end_item();
    }
    r.end_list();
}

// One index block; returns how many entries it says it holds.
std::uint64_t index_block(FieldReader& r, OffsetIndex kind, std::uint64_t first_entry,
                          const std::vector<Specifier>& specifiers, EntryChecks& checks) {
    const std::int64_t count_at = r.position();
    const auto count = r.u32("Index Entry Count");
    if (kind == OffsetIndex::timecode)
        r.u16("Timecode Range");
    std::vector<std::uint64_t> positions;
    r.begin_list("Block Positions", "Block Position");
    for (std::size_t j = 0; j < specifiers.size() && r.ok(); ++j) {
        r.begin_item(j, r.position());
        positions.push_back(r.u64("Block Position").value_or(0));
        r.end_item();
    }
    r.end_list();
    if (!r.ok())
        return 0;
    const std::uint64_t entry_bytes =
        kOffsetBytes * specifiers.size() + (kind == OffsetIndex::timecode ? kTimecodeBytes : 0);
    check_record_count(r, "Index Entry Count", *count, entry_bytes, count_at);
    r.begin_list("Index Entries", "Index Entry");
    // Entries without a field (no specifiers) take no bytes: there is nothing
    // to read.
    for (std::uint32_t i = 0; i < *count && r.ok() && entry_bytes != 0; ++i) {
        r.begin_item(i, r.position());
        if (kind == OffsetIndex::timecode)
            r.timecode("Timecode");
        entry_offsets(r, first_entry + i, specifiers, positions, checks);
        r.end_item();
    }
    r.end_list();
    return *count;
}

void offset_index(FieldReader& r, OffsetIndex kind) {
    const std::int64_t interval_at = r.position();
    std::optional<std::uint32_t> interval;
    switch (kind) {
        case OffsetIndex::time:
            interval = r.u32("Index Entry Time Interval", Unit::milliseconds);
            break;
        case OffsetIndex::media_object:
            r.u32("Index Entry Count Interval");
            break;
        case OffsetIndex::timecode:
            r.u32("Reserved");
            break;
    }
    const std::int64_t specifiers_at = r.position();
    const auto specifier_count = r.u16("Index Specifiers Count");
    const std::int64_t blocks_at = r.position();
    const auto blocks = r.u32("Index Blocks Count");
    if (!r.ok())
        return;
    const std::vector<Specifier> specifiers =
        index_specifiers(r, *specifier_count, specifiers_at, false, kind != OffsetIndex::time);
    const std::uint64_t block_least = kIndexBlockLeast +
                                      (kind == OffsetIndex::timecode ? kTimecodeRangeBytes : 0) +
                                      kBlockPositionBytes * specifiers.size();
    check_record_count(r, "Index Blocks Count", *blocks, block_least, blocks_at);
    EntryChecks checks(r);
    std::uint64_t entries = 0;
    r.begin_list("Index Blocks", "Index Block");
    for (std::uint32_t b = 0; b < *blocks && r.ok(); ++b) {
        r.begin_item(b, r.position());
        entries = saturating_add(entries, index_block(r, kind, entries, specifiers, checks));
        r.end_item();
    }
    r.end_list();
    checks.report();
    if (interval && r.ok())
        check_coverage(r, saturating_multiply(*interval, kTicksPerMillisecond), entries,
                       interval_at);
    if (IndexFacts* kept = r.facts().indexes.add()) {
        kept->type = object_type(kind);
        kept->streams.clear();
        // Each pass keeps one specifier's stream, unless it is kept already.
        for (std::size_t i = 0;
             i < specifiers.size() && kept->streams.size() < kMaxKeptIndexStreams; ++i) {
            const std::uint16_t stream = specifiers[i].stream;
            if (std::find(kept->streams.begin(), kept->streams.end(), stream) ==
                kept->streams.end())
                kept->streams.push_back(stream);
        }
        kept->specifiers = static_cast<std::uint32_t>(specifiers.size());
        kept->entries = entries;
        kept->interval = interval ? saturating_multiply(*interval, kTicksPerMillisecond) : 0;
        kept->kinds = kept_specifiers(specifiers);
    }
    check_leftover(r);
}

std::uint32_t video_streams(const Facts& facts) {
    std::uint32_t n = 0;
    for (const StreamFacts& s : facts.streams)
        n += s.declared && s.kind == StreamKind::video ? 1 : 0;
    return n;
}

// The stream number of the video stream that the Simple Index Object with
// this ordinal belongs to, or 0: one Simple Index Object per video stream,
// in the order of their stream numbers.
std::uint16_t video_stream(const Facts& facts, std::uint32_t ordinal) {
    std::uint32_t seen = 0;
    for (std::uint16_t s = 1; s < kStreamNumbers; ++s) {
        if (facts.streams[s].declared && facts.streams[s].kind == StreamKind::video &&
            seen++ == ordinal) {
            return s;
        }
    }
    return 0;
}

void index_parameters(FieldReader& r) {
    r.facts().index_parameters_seen = true;
    const auto [interval, specifiers] =
        index_parameters_layout(r, "Index Entry Time Interval", Unit::milliseconds);
    IndexParametersFacts& kept = r.facts().index_parameters;
    kept.present = true;
    kept.interval = interval;
    kept.specifiers = kept_specifiers(specifiers);
}

void media_object_index_parameters(FieldReader& r) {
    index_parameters_layout(r, "Index Entry Count Interval", Unit::none);
}

void timecode_index_parameters(FieldReader& r) {
    index_parameters_layout(r, "Index Entry Count Interval", Unit::none);
}

void simple_index(FieldReader& r) {
    Facts& facts = r.facts();
    const std::uint32_t ordinal = facts.simple_index_objects++;
    const std::int64_t file_id_at = r.position();
    const auto file_id = r.guid("File ID");
    const std::int64_t interval_at = r.position();
    const auto interval = r.u64("Index Entry Time Interval", Unit::hundred_nanoseconds);
    r.u32("Maximum Packet Count");
    const std::int64_t count_at = r.position();
    const auto count = r.u32("Index Entries Count");
    if (!r.ok())
        return;
    check_file_id(r, *file_id, file_id_at);
    const Specifier video{video_stream(facts, ordinal), Points::key_frame, {}};
    // One left without a video stream (encoders write an empty one into files
    // without video) indexes nothing: neither its key frames nor the time it
    // covers are checked.
    const bool stream_less = video.stream == 0 && facts.header_seen;
    if (stream_less) {
        const std::uint32_t videos = video_streams(facts);
        r.finding(Severity::warning, codes::kIndexStream,
                  videos != 0 ? message("Simple Index Object ", ordinal + 1, ", but the file has ",
                                        videos, videos == 1 ? " video stream" : " video streams",
                                        ", and one belongs to each; its entries are not checked "
                                        "against key frames")
                  : *count == 0
                      ? message("an empty Simple Index Object in a file without video, as "
                                "encoders write it; it indexes nothing")
                      : message("a Simple Index Object, but the file has no video stream for it "
                                "to index; its entries are not checked against key frames"),
                  r.start() - kObjectHeaderSize);
    }
    check_record_count(r, "Index Entries Count", *count, kSimpleIndexEntryBytes, count_at);
    EntryChecks checks(r);
    r.begin_list("Index Entries", "Index Entry");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        const std::int64_t at = r.position();
        const auto packet = r.u32("Packet Number");
        const auto packets = r.u16("Packet Count");
        // Encoders write entries of Packet Count 0, at packet 0, for a video
        // stream that has nothing to index: they point at no key frame.
        if (r.ok())
            checks.packet(i, *packet,
                          *packets == 0 ? Specifier{video.stream, Points::packet, {}} : video, at);
        r.end_item();
    }
    r.end_list();
    checks.report();
    if (r.ok() && !stream_less)
        check_coverage(r, *interval, *count, interval_at);
    if (IndexFacts* kept = facts.indexes.add()) {
        kept->type = asf::ObjectType::simple_index;
        kept->streams.clear();
        if (video.stream != 0)
            kept->streams.push_back(video.stream);
        kept->specifiers = video.stream != 0 ? 1 : 0;
        kept->entries = *count;
        kept->interval = *interval;
    }
    check_leftover(r);
}

// ASF asks for an Index Parameters Object in the header of a file with an
// Index Object; players read the index without it.
void check_index_parameters(FieldReader& r) {
    const Facts& facts = r.facts();
    if (!facts.header_seen || facts.index_parameters_seen)
        return;
    r.finding(Severity::warning, codes::kIndexParameters,
              "an Index Object, but the header holds no Index Parameters Object",
              r.start() - kObjectHeaderSize);
}

void index(FieldReader& r) {
    check_index_parameters(r);
    offset_index(r, OffsetIndex::time);
}

void media_object_index(FieldReader& r) {
    offset_index(r, OffsetIndex::media_object);
}

void timecode_index(FieldReader& r) {
    offset_index(r, OffsetIndex::timecode);
}

using T = asf::ObjectType;
constexpr LayoutRow kIndexLayouts[] = {
    {T::index_parameters, index_parameters},
    {T::media_object_index_parameters, media_object_index_parameters},
    {T::timecode_index_parameters, timecode_index_parameters},
    {T::simple_index, simple_index},
    {T::index, index},
    {T::media_object_index, media_object_index},
    {T::timecode_index, timecode_index},
};

}  // namespace

std::span<const LayoutRow> index_layouts() {
    return kIndexLayouts;
}

}  // namespace asfinspect::decode::objects

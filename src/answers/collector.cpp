#include "answers/collector.hpp"

#include <algorithm>
#include <limits>
#include <variant>

#include "asf/codecs.hpp"
#include "asf/object_format.hpp"
#include "asf/pictures.hpp"
#include "decode/findings.hpp"
#include "decode/packets/packet.hpp"
#include "io/saturating.hpp"

namespace asfinspect::answers {

namespace {

using decode::CodecEntryFacts;
using decode::Facts;
using decode::StreamFacts;

Text text_of(const decode::KeptText& kept) {
    return {kept.text, kept.cut};
}

bool has_picture_size(StreamKind kind) {
    return kind == StreamKind::video || kind == StreamKind::jfif ||
           kind == StreamKind::degradable_jpeg;
}

// The FourCC's characters as stored; those that are not printable ASCII as
// '?'.
std::string fourcc_text(std::uint32_t v) {
    std::string text(4, '?');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<char>(v >> (8 * i) & 0xFF);
        if (c >= 0x20 && c < 0x7f)
            text[i] = c;
    }
    return text;
}

// The Codec List entry of a stream. Entries name no stream: an entry whose
// Codec Information names the stream's format tag or FourCC is its codec's,
// which every stream of that codec shares (multi-bitrate files list a codec
// once); else entries go to the streams of their type in order.
const CodecEntryFacts* codec_entry(const Facts& facts, std::uint16_t type, std::uint32_t id,
                                   std::size_t nth) {
    const std::vector<CodecEntryFacts>& entries = facts.codec_entries.kept;
    const auto same_codec = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
        return e.type == type && e.has_codec_id && e.codec_id == id;
    });
    if (same_codec != entries.end())
        return &*same_codec;
    for (const CodecEntryFacts& entry : entries) {
        if (entry.type == type && !entry.has_codec_id && nth-- == 0)
            return &entry;
    }
    return nullptr;
}

StreamAnswers declared_stream(const Facts& facts, std::uint8_t number, std::size_t nth_of_type) {
    const StreamFacts& s = facts.streams[number];
    StreamAnswers a;
    a.number = number;
    a.kind = s.kind;
    const CodecEntryFacts* entry = nullptr;
    if (s.kind == StreamKind::audio) {
        a.format_tag = s.format.format_tag;
        a.channels = s.format.channels;
        a.sample_rate = s.format.sample_rate;
        a.bits_per_sample = s.format.bits_per_sample;
        a.table_codec = asf::audio_codec_name(s.format.format_tag);
        entry = codec_entry(facts, CodecEntryFacts::kAudio, s.format.format_tag, nth_of_type);
    } else if (s.kind == StreamKind::video) {
        if (s.format.bitmap) {
            a.has_fourcc = true;
            a.fourcc = fourcc_text(s.format.fourcc);
            a.table_codec = asf::video_codec_name(s.format.fourcc);
        }
        entry = codec_entry(facts, CodecEntryFacts::kVideo, s.format.bitmap ? s.format.fourcc : 0,
                            nth_of_type);
    }
    a.codec = entry != nullptr && !entry->name.text.empty() ? entry->name.text
                                                            : std::string(a.table_codec);
    if (entry != nullptr) {
        a.codec_description = entry->description.text;
        a.bitrate_mode = bitrate_mode_of_description(a.codec_description);
    }
    if (has_picture_size(s.kind)) {
        a.has_picture_size = true;
        a.width = s.format.width;
        a.height = s.format.height;
    }
    const decode::ExtendedStreamFacts& e = s.extended_properties;
    if (s.extended && e.language_index < facts.language_ids.kept.size())
        a.language = text_of(facts.language_ids.kept[e.language_index]);
    if (s.extended && e.named)
        a.name = text_of(e.name);
    a.encrypted = s.encrypted;
    if (s.bitrate_declared)
        a.bitrate_declared = s.bitrate;
    if (s.extended) {
        a.bucket = LeakyBucket{e.data_bitrate, s.buffer_size, e.initial_fullness};
        a.alternate_bucket =
            LeakyBucket{e.alternate_bitrate, e.alternate_buffer_size, e.alternate_initial_fullness};
        a.average_time_per_frame = e.average_time_per_frame;
        if (s.kind == StreamKind::video)
            a.frame_rate_declared = declared_frame_rate(e.average_time_per_frame);
    }
    a.limit_is_bucket = s.extended && e.data_bitrate != 0;
    if (a.limit_is_bucket)
        a.bitrate_limit = e.data_bitrate;
    else if (s.bitrate_declared && s.bitrate != 0)
        a.bitrate_limit = s.bitrate;
    return a;
}

// Where a stream's media objects begin and end, as a player shows times.
Measured measured_stream(const StreamMeasure& m, const StreamFacts& facts, std::uint64_t preroll) {
    Measured out;
    out.media_objects = m.objects();
    out.key_frames = m.key_frames();
    out.bytes = m.bytes();
    if (m.objects() == 0)
        return out;
    const std::int64_t shift = ticks_of_ms(player_time(0, preroll));
    out.first = io::saturating_add(ticks_of_ms(m.first()), shift);
    out.last = io::saturating_add(ticks_of_ms(m.last()), shift);
    out.end = io::saturating_add(m.end(facts), shift);
    out.duration = io::saturating_subtract(out.end, out.first);
    out.bitrate = bitrate(out.bytes, out.duration);
    if (m.key_frames() > 1)
        out.key_frame_interval_max = ticks_of_ms(m.longest_key_interval());
    if (facts.kind == StreamKind::video)
        out.frame_rate = frame_rate(out.media_objects, out.duration);
    return out;
}

// The mode the IsVBR tag of the Extended Content Description states for the
// file, which taggers and encoders of audio write.
std::optional<BitrateMode> tagged_bitrate_mode(const std::vector<TagAnswers>& tags) {
    for (const TagAnswers& t : tags) {
        if (t.stream == 0 && t.name.text == "IsVBR" &&
            (t.kind == TagAnswers::Kind::boolean || t.kind == TagAnswers::Kind::number)) {
            return t.number != 0 ? BitrateMode::variable : BitrateMode::constant;
        }
    }
    return std::nullopt;
}

// The video streams no index names; an index that names none is taken to
// serve them all.
std::vector<std::uint8_t> unindexed_video(const FileAnswers& a) {
    std::vector<std::uint8_t> streams;
    const bool for_all = std::any_of(a.indexes.begin(), a.indexes.end(),
                                     [](const IndexAnswers& i) { return i.streams.empty(); });
    for (const StreamAnswers& s : a.streams) {
        const bool named = std::any_of(a.indexes.begin(), a.indexes.end(), [&](const auto& i) {
            return std::find(i.streams.begin(), i.streams.end(), s.number) != i.streams.end();
        });
        if (s.kind == StreamKind::video && !named && !for_all)
            streams.push_back(s.number);
    }
    return streams;
}

std::vector<TagAnswers> tags_of(const Facts& facts) {
    std::vector<TagAnswers> tags;
    for (const decode::TagFacts& t : facts.tags.kept) {
        TagAnswers& a = tags.emplace_back();
        a.source = t.source;
        a.kind = t.kind;
        // A tag for a stream no Stream Properties Object declares is the
        // file's.
        const bool declared = t.stream < decode::kStreamNumbers && facts.streams[t.stream].declared;
        a.stream = declared ? t.stream : 0;
        a.name = text_of(t.name);
        a.text = text_of(t.text);
        a.number = t.number;
        a.guid = t.guid;
    }
    // Those of the Content Description first, then each other object's, each
    // in file order.
    std::stable_sort(tags.begin(), tags.end(),
                     [](const TagAnswers& x, const TagAnswers& y) { return x.source < y.source; });
    return tags;
}

IndexAnswers index_of(const decode::IndexFacts& index) {
    IndexAnswers a;
    a.type = index.type;
    a.streams = index.streams;
    a.specifiers = index.specifiers;
    a.entries = index.entries;
    if (index.interval != 0) {
        a.interval = index.interval;
        a.covers = io::saturating_multiply(index.entries, index.interval);
    }
    return a;
}

}  // namespace

struct Collector::Probe {
    // Streams seen in fewer packets than this have no usual spacing.
    static constexpr std::uint32_t kLeastGaps = 2;

    struct Stream {
        bool seen = false;
        std::uint64_t packet = 0;  // the last that carried it
        std::uint64_t sent = 0;    // its send time
        std::uint32_t gaps = 0;
        MostFrequent spacing;
    };

    std::vector<std::variant<decode::SentPacket, decode::SentPayload, decode::MediaObject>> events;
    std::uint64_t packets = 0;
    std::array<Stream, decode::kStreamNumbers> streams{};

    void payload(const decode::SentPayload& p) {
        if (p.stream >= streams.size())
            return;
        Stream& s = streams[p.stream];
        if (s.seen && s.packet == packets)
            return;
        if (s.seen && p.send_time > s.sent) {
            s.spacing.add(static_cast<std::uint32_t>(std::min<std::uint64_t>(
                p.send_time - s.sent, std::numeric_limits<std::uint32_t>::max())));
            ++s.gaps;
        }
        s = {true, packets, p.send_time, s.gaps, s.spacing};
    }

    std::uint32_t spacing() const {
        std::uint32_t most = 0;
        for (const Stream& s : streams) {
            if (s.gaps >= kLeastGaps)
                most = std::max(most, s.spacing.most_frequent());
        }
        return most;
    }
};

namespace {

void give(Timeline& t, const decode::SentPacket& p) {
    t.packet(p);
}
void give(Timeline& t, const decode::SentPayload& p) {
    t.payload(p);
}
void give(Timeline& t, const decode::MediaObject& m) {
    t.media_object(m);
}

}  // namespace

Collector::Collector(io::Output& out) : out_(out) {}

Collector::~Collector() = default;

void Collector::begin(const decode::Part& part) {
    using Kind = decode::Part::Kind;
    if (part.kind == Kind::file) {
        path_.assign(part.path);
        size_ = part.size;
        began(part.path, part.size);
    } else if (part.kind == Kind::object) {
        ++depth_;
        if (depth_ > 2)
            return;
        if (objects_.size() == kMaxPlaced) {
            ++objects_not_placed_;
            return;
        }
        const decode::ObjectHead& head = *part.head;
        objects_.push_back(
            {head.offset, head.size, head.known != nullptr ? head.known->name : "unknown object",
             head.known != nullptr ? head.known->object : asf::ObjectType::unknown, depth_});
    } else if (part.kind == Kind::packets && part.facts != nullptr) {
        start_packets(*part.facts);
    }
}

void Collector::start_packets(const decode::Facts& facts) {
    preroll_ = facts.file_properties.preroll;
    // ASF sends a media object before it is presented: once a packet is
    // sent, no later object is presented before its send time less the
    // preroll. Streams that break the rule get a buffer's and a window's
    // grace.
    std::uint64_t buffer = 0;
    for (const StreamFacts& s : facts.streams)
        buffer = std::max<std::uint64_t>(buffer, s.buffer_size);
    settle_lead_ = io::saturating_add(
        ticks_of_ms(static_cast<std::int64_t>(std::min<std::uint64_t>(
            io::saturating_add(preroll_, buffer), std::numeric_limits<std::int64_t>::max()))),
        BusiestWindow::kWindow);
    declared_duration_ = declared_duration(facts.file_properties);
    buffer_ = buffer;
    if (wants_intervals())
        probe_ = std::make_unique<Probe>();
}

void Collector::start_timeline() {
    const std::unique_ptr<Probe> probe = std::move(probe_);
    packet_spacing_ = probe->spacing();
    const auto ms = interval_ms(declared_duration_);
    if (!ms)
        return;
    timeline_.emplace(*ms, [this](const Span& s) { interval(s); });
    timeline_->start(preroll_, buffer_);
    for (const auto& event : probe->events)
        std::visit([this](const auto& e) { give(*timeline_, e); }, event);
}

template <typename Event>
void Collector::to_timeline(const Event& e) {
    if (probe_) {
        if (probe_->packets <= kProbePackets && probe_->events.size() < kProbeEvents) {
            probe_->events.emplace_back(e);
            return;
        }
        start_timeline();
    }
    if (timeline_)
        give(*timeline_, e);
}

void Collector::packet(const decode::Packet& p) {
    if (p.header_whole) {
        sent_until_ =
            std::max(sent_until_, io::saturating_add(p.header.send_time, p.header.duration));
    }
}

void Collector::media_object(const decode::MediaObject& m) {
    if (m.stream >= decode::kStreamNumbers)
        return;
    StreamMeasure& measure = streams_[m.stream];
    if (measure.objects() == 0) {
        measured_.push_back(m.stream);
        busiest_[m.stream] = std::make_unique<BusiestWindow>();
    }
    measure.add(m);
    const std::int64_t at = ticks_of_ms(player_time(m.presentation_time, preroll_));
    busiest_[m.stream]->add(at, m.size);
    file_busiest_.add(at, m.size);
    if (probe_ || timeline_)
        to_timeline(m);
}

void Collector::packet_sent(const decode::SentPacket& p) {
    if (probe_)
        ++probe_->packets;
    if (probe_ || timeline_)
        to_timeline(p);
    // Windows settle a second at a time, not at every packet.
    if (p.send_time < settle_at_ms_)
        return;
    const std::int64_t sent = ticks_of_ms(static_cast<std::int64_t>(
        std::min<std::uint64_t>(p.send_time, std::numeric_limits<std::int64_t>::max())));
    const std::int64_t below =
        BusiestWindow::window_of(io::saturating_subtract(sent, settle_lead_));
    for (const std::uint8_t s : measured_)
        busiest_[s]->settle_below(below);
    file_busiest_.settle_below(below);
    // The send time at which the next window settles.
    const std::int64_t next = io::saturating_add(
        io::saturating_add(io::saturating_multiply_signed(below + 1, BusiestWindow::kWindow),
                           settle_lead_),
        kTicksPerMillisecond - 1);
    settle_at_ms_ = next <= 0 ? 0 : static_cast<std::uint64_t>(next / kTicksPerMillisecond);
}

void Collector::payload_sent(const decode::SentPayload& p) {
    if (probe_)
        probe_->payload(p);
    if (probe_ || timeline_)
        to_timeline(p);
}

void Collector::finding(const decode::Finding& f) {
    const bool error = f.severity == decode::Severity::error;
    (error ? verdict_.errors : verdict_.warnings) += 1;
    auto hit = std::find_if(verdict_.codes.begin(), verdict_.codes.end(),
                            [&](const CodeCount& c) { return c.code == f.code; });
    if (hit == verdict_.codes.end())
        hit = verdict_.codes.insert(verdict_.codes.end(), CodeCount{f.code});
    (error ? hit->errors : hit->warnings) += 1;
    if (findings_.size() < kMaxListed) {
        findings_.push_back({f.offset, f.severity, f.code, std::string(f.message)});
    } else {
        ++findings_not_listed_;
    }
    found(f);
}

void Collector::end(const decode::Part& part) {
    if (part.kind == decode::Part::Kind::object)
        --depth_;
    if (part.kind != decode::Part::Kind::file || part.summary == nullptr)
        return;
    if (probe_)
        start_timeline();
    const FileAnswers answers = answer(*part.summary);
    if (timeline_) {
        std::uint64_t end_ms = sent_until_;
        if (answers.measured) {
            end_ms = std::max<std::uint64_t>(end_ms,
                                             static_cast<std::uint64_t>(std::max<std::int64_t>(
                                                 answers.measured->end / kTicksPerMillisecond, 0)));
        }
        timeline_->finish(end_ms);
    }
    answered(answers);
}

FileAnswers Collector::answer(const decode::FileSummary& summary) {
    static const Facts kNoFacts;
    const Facts& facts = summary.facts != nullptr ? *summary.facts : kNoFacts;
    const decode::FilePropertiesFacts& fp = facts.file_properties;
    FileAnswers a;
    a.path = path_;
    a.size = size_;
    a.file_properties = fp.present;
    if (fp.present) {
        a.duration = declared_duration(fp);
        a.preroll_ms = fp.preroll;
        a.maximum_bitrate = declared_maximum_bitrate(fp);
        if (!fp.broadcast())
            a.packets_declared = fp.data_packets_count;
        a.broadcast = fp.broadcast();
        a.seekable = fp.seekable();
        if (fp.creation_date != 0)
            a.created = fp.creation_date;
    }
    const decode::DataFacts& data = facts.data;
    if (data.present && data.packet_size != 0) {
        a.packet_size = data.packet_size;
        a.packets = data.packets;
    }
    a.packets_decoded = summary.packets;
    // Packets were read unless there are some and none was (--packets=none),
    // or the data holds packets of a size no header gave, which can't be
    // decoded: its streams are then not known to be empty.
    const bool undecodable = data.present && data.packet_size == 0 &&
                             data.size > asf::object_format::kDataObjectHeadSize;
    a.packets_read = summary.packets != 0 || (a.packets == 0 && !undecodable);
    a.protection = facts.protection;
    std::size_t audio = 0;
    std::size_t video = 0;
    for (const std::uint8_t n : facts.stream_order) {
        const StreamKind kind = facts.streams[n].kind;
        const std::size_t nth = kind == StreamKind::audio   ? audio++
                                : kind == StreamKind::video ? video++
                                                            : 0;
        a.streams.push_back(declared_stream(facts, n, nth));
    }
    a.xmp_objects = facts.xmp_objects;
    a.xmp_bytes = facts.xmp_bytes;
    a.tags = tags_of(facts);
    a.bitrate_mode = tagged_bitrate_mode(a.tags);
    a.tags_not_kept = facts.tags.more;
    for (const decode::PictureFacts& p : facts.pictures.kept) {
        a.pictures.push_back({p.type, asf::name_of(p.type, asf::kPictureTypes),
                              text_of(p.mime_type), text_of(p.description), p.size});
    }
    a.pictures_not_kept = facts.pictures.more;
    for (const decode::IndexFacts& index : facts.indexes.kept)
        a.indexes.push_back(index_of(index));
    a.indexes_not_kept = facts.indexes.more;
    a.unindexed_video = unindexed_video(a);
    a.bucket_pairs = facts.leaky_bucket_pairs.kept;
    a.bucket_pairs_not_kept = facts.leaky_bucket_pairs.more;
    a.objects = objects_;
    a.objects_not_placed = objects_not_placed_;
    a.first_packet = data.first_packet;
    a.packets_end = data.end;
    a.verdict = verdict_;
    a.findings = findings_;
    std::stable_sort(a.findings.begin(), a.findings.end(), [](const auto& x, const auto& y) {
        return decode::file_place(x.offset, x.code) < decode::file_place(y.offset, y.code);
    });
    a.findings_not_listed = findings_not_listed_;
    if (a.packets_read)
        measure(a, facts);
    return a;
}

// Each stream's media objects, and the file's: those of every stream that has
// any, declared or not.
void Collector::measure(FileAnswers& a, const decode::Facts& facts) {
    for (StreamAnswers& s : a.streams) {
        s.measured = measured_stream(streams_[s.number], facts.streams[s.number], preroll_);
        if (busiest_[s.number] != nullptr) {
            s.measured->busiest = busiest_[s.number]->busiest(s.measured->first, s.measured->end);
        }
    }
    Measured file;
    for (const std::uint8_t n : measured_) {
        const Measured m = measured_stream(streams_[n], facts.streams[n], preroll_);
        file.first = file.media_objects == 0 ? m.first : std::min(file.first, m.first);
        file.last = file.media_objects == 0 ? m.last : std::max(file.last, m.last);
        file.end = file.media_objects == 0 ? m.end : std::max(file.end, m.end);
        file.media_objects += m.media_objects;
        file.key_frames += m.key_frames;
        file.bytes = io::saturating_add(file.bytes, m.bytes);
    }
    if (file.media_objects == 0)
        return;
    file.duration = io::saturating_subtract(file.end, file.first);
    file.bitrate = bitrate(file.bytes, file.duration);
    file.busiest = file_busiest_.busiest(file.first, file.end);
    a.measured = file;
    for (StreamAnswers& s : a.streams)
        s.measured->share = share(s.measured->bytes, file.bytes);
}

}  // namespace asfinspect::answers

#include "view/summary_view.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "asf/codecs.hpp"
#include "asf/pictures.hpp"
#include "io/saturating.hpp"
#include "view/format.hpp"

namespace asfinspect::view {

namespace {

using decode::CodecEntryFacts;
using decode::Facts;
using decode::IndexFacts;
using decode::KeptText;
using decode::StreamFacts;
using decode::StreamKind;
using decode::TagFacts;
using io::saturating_add;
using io::saturating_multiply;
using Measured = SummaryView::Measured;

constexpr std::uint64_t kTicksPerMillisecond = 10'000;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kMillisecondsPerWindow = 1000;
constexpr std::uint64_t kBitsPerByte = 8;
// Names and values are shortened to this many characters in text.
constexpr std::size_t kShownChars = 70;
constexpr std::size_t kMaxTagNameWidth = 28;
// The width of the labels of the text ("protected: ").
constexpr std::size_t kLabelWidth = 11;
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

bool has_picture_size(StreamKind kind) {
    return kind == StreamKind::video || kind == StreamKind::jfif ||
           kind == StreamKind::degradable_jpeg;
}

struct IndexName {
    asf::ObjectType type;
    std::string_view key;
    std::string_view text;
};

constexpr IndexName kIndexNames[] = {
    {asf::ObjectType::simple_index, "simple_index", "Simple Index"},
    {asf::ObjectType::index, "index", "Index"},
    {asf::ObjectType::media_object_index, "media_object_index", "Media Object Index"},
    {asf::ObjectType::timecode_index, "timecode_index", "Timecode Index"},
};

const IndexName& index_name(asf::ObjectType type) {
    for (const IndexName& n : kIndexNames) {
        if (n.type == type)
            return n;
    }
    return kIndexNames[0];
}

// The objects that protect a file: a name for JSON, one for people.
struct ProtectionName {
    bool decode::ProtectionFacts::*present;
    std::string_view key;
    std::string_view text;
};

constexpr ProtectionName kProtectionNames[] = {
    {&decode::ProtectionFacts::content_encryption, "content_encryption", "Content Encryption"},
    {&decode::ProtectionFacts::extended_content_encryption, "extended_content_encryption",
     "Extended Content Encryption"},
    {&decode::ProtectionFacts::advanced_content_encryption, "advanced_content_encryption",
     "Advanced Content Encryption"},
    {&decode::ProtectionFacts::digital_signature, "digital_signature", "Digital Signature"},
    {&decode::ProtectionFacts::content_protection, "content_protection", "Content Protection"},
};

// ---------------------------------------------------------------------------
// What the summary works out from the facts and the media objects

// Where the last media object of a stream ends, in 100 ns, the preroll
// included: audio lasts its size over the stream's bytes per second, video
// the Average Time Per Frame when there is one, anything else as long as the
// interval before it.
std::uint64_t stream_end(const Measured& m, const StreamFacts& s) {
    std::uint64_t length = std::uint64_t{m.interval} * kTicksPerMillisecond;
    if (s.kind == StreamKind::audio && s.format.average_bytes_per_second != 0) {
        length =
            saturating_multiply(m.last_size, kTicksPerSecond) / s.format.average_bytes_per_second;
    } else if (s.kind != StreamKind::audio && s.extended &&
               s.extended_properties.average_time_per_frame != 0) {
        length = s.extended_properties.average_time_per_frame;
    }
    return saturating_add(std::uint64_t{m.last} * kTicksPerMillisecond, length);
}

// Bits per second of `bytes` over `ticks` (100 ns), rounded; none over no time.
std::optional<std::uint64_t> bitrate(std::uint64_t bytes, std::uint64_t ticks) {
    if (ticks == 0)
        return std::nullopt;
    const double rate = static_cast<double>(bytes) * kBitsPerByte *
                        static_cast<double>(kTicksPerSecond) / static_cast<double>(ticks);
    constexpr auto kLargest = static_cast<double>(std::numeric_limits<std::uint64_t>::max());
    return rate >= kLargest ? std::numeric_limits<std::uint64_t>::max()
                            : static_cast<std::uint64_t>(rate + 0.5);
}

// A presentation time in 100 ns, the preroll (ms) taken off; negative for a
// time inside the preroll.
std::int64_t after_preroll(std::uint64_t ticks, std::uint64_t preroll) {
    const std::uint64_t p = saturating_multiply(preroll, kTicksPerMillisecond);
    if (ticks >= p)
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(ticks - p, std::numeric_limits<std::int64_t>::max()));
    return -static_cast<std::int64_t>(
        std::min<std::uint64_t>(p - ticks, std::numeric_limits<std::int64_t>::max()));
}

// What the summary shows of a stream, worked out once for every format.
struct StreamRow {
    std::uint8_t number = 0;
    const StreamFacts* facts = nullptr;
    std::string_view codec;  // the Codec List's name, else the table's
    std::string_view table_codec;
    std::string_view codec_description;
    const KeptText* language = nullptr;
    std::array<char, 4> fourcc{};
    const Measured* measured = nullptr;  // nullptr: nothing measured
    std::uint64_t end = 0;               // 100 ns, preroll included
};

// The `n`th Codec List entry of a type.
const CodecEntryFacts* codec_entry(const Facts& facts, std::uint16_t type, std::size_t n) {
    for (const CodecEntryFacts& entry : facts.codec_entries.kept) {
        if (entry.type == type && n-- == 0)
            return &entry;
    }
    return nullptr;
}

// The FourCC's characters; those that are not printable ASCII as '?'.
std::array<char, 4> fourcc_text(std::uint32_t v) {
    char chars[4];
    fourcc_chars(v, chars);
    std::array<char, 4> text{};
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = chars[i] >= 0x20 && chars[i] < 0x7f ? chars[i] : '?';
    return text;
}

// The declared streams in the order they were declared. Codec List entries
// go to the streams of their type in that order, as players match them.
std::vector<StreamRow> stream_rows(const Facts& facts,
                                   const std::array<Measured, decode::kStreamNumbers>& measured,
                                   bool packets) {
    std::vector<StreamRow> rows;
    std::size_t audio = 0;
    std::size_t video = 0;
    for (const std::uint8_t number : facts.stream_order) {
        const StreamFacts& s = facts.streams[number];
        StreamRow& row = rows.emplace_back();
        row.number = number;
        row.facts = &s;
        const CodecEntryFacts* entry = nullptr;
        if (s.kind == StreamKind::audio) {
            row.table_codec = asf::audio_codec_name(s.format.format_tag);
            entry = codec_entry(facts, CodecEntryFacts::kAudio, audio++);
        } else if (s.kind == StreamKind::video && s.format.bitmap) {
            row.table_codec = asf::video_codec_name(s.format.fourcc);
            row.fourcc = fourcc_text(s.format.fourcc);
            entry = codec_entry(facts, CodecEntryFacts::kVideo, video++);
        } else if (s.kind == StreamKind::video) {
            entry = codec_entry(facts, CodecEntryFacts::kVideo, video++);
        }
        row.codec =
            entry != nullptr && !entry->name.text.empty() ? entry->name.text : row.table_codec;
        if (entry != nullptr)
            row.codec_description = entry->description.text;
        const std::uint16_t language = s.extended_properties.language_index;
        if (s.extended && language < facts.language_ids.kept.size())
            row.language = &facts.language_ids.kept[language];
        if (packets && measured[number].objects != 0) {
            row.measured = &measured[number];
            row.end = stream_end(measured[number], s);
        }
    }
    return rows;
}

// The file as its media objects measure it: from the earliest presentation
// time to where the last object ends, in 100 ns with the preroll.
struct FileMeasure {
    bool present = false;
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    std::uint64_t bytes = 0;

    std::uint64_t duration() const { return end - first; }
};

FileMeasure measure_file(const Facts& facts,
                         const std::array<Measured, decode::kStreamNumbers>& measured) {
    FileMeasure f;
    // Every stream that has media objects, declared or not.
    for (std::size_t n = 0; n < measured.size(); ++n) {
        const Measured& m = measured[n];
        if (m.objects == 0)
            continue;
        const std::uint64_t first = std::uint64_t{m.first} * kTicksPerMillisecond;
        const std::uint64_t end = stream_end(m, facts.streams[n]);
        f.first = f.present ? std::min(f.first, first) : first;
        f.end = f.present ? std::max(f.end, end) : end;
        f.bytes = saturating_add(f.bytes, m.bytes);
        f.present = true;
    }
    return f;
}

// The Play Duration less the preroll, in 100 ns, at least 0; none when the
// file keeps no durations.
std::optional<std::uint64_t> declared_duration(const decode::FilePropertiesFacts& fp) {
    if (!fp.present || fp.broadcast())
        return std::nullopt;
    const std::uint64_t preroll = saturating_multiply(fp.preroll, kTicksPerMillisecond);
    return fp.play_duration > preroll ? fp.play_duration - preroll : 0;
}

// Where a tag goes: the file's tags, a shown stream's, or nowhere (a stream
// not shown).
enum class TagScope : std::uint8_t { file, stream, hidden };

// The kept tags in the order they are shown: those of the Content
// Description first, then those of each other object, each in file order.
std::vector<const TagFacts*> tag_order(const Facts& facts) {
    std::vector<const TagFacts*> order;
    for (const TagFacts& tag : facts.tags.kept)
        order.push_back(&tag);
    std::stable_sort(order.begin(), order.end(),
                     [](const TagFacts* a, const TagFacts* b) { return a->source < b->source; });
    return order;
}

TagScope scope_of(const TagFacts& tag, const Facts& facts, const decode::StreamSet& shown) {
    if (tag.stream == 0 || tag.stream >= decode::kStreamNumbers ||
        !facts.streams[tag.stream].declared) {
        return TagScope::file;
    }
    return shown.test(tag.stream) ? TagScope::stream : TagScope::hidden;
}

// ---------------------------------------------------------------------------
// Writing

// Seconds, exact, for JSON: a count of 100 ns.
void json_seconds(io::Output& out, std::int64_t ticks) {
    if (ticks < 0)
        out.text("-");
    write_seconds(
        out, ticks < 0 ? 0 - static_cast<std::uint64_t>(ticks) : static_cast<std::uint64_t>(ticks),
        decode::Unit::hundred_nanoseconds);
}

// Seconds to the millisecond, for people: "2.046 s", "-0.500 s".
void text_seconds(io::Output& out, std::int64_t ticks) {
    const std::uint64_t magnitude =
        ticks < 0 ? 0 - static_cast<std::uint64_t>(ticks) : static_cast<std::uint64_t>(ticks);
    const std::uint64_t ms = magnitude / kTicksPerMillisecond +
                             (magnitude % kTicksPerMillisecond >= kTicksPerMillisecond / 2 ? 1 : 0);
    if (ticks < 0 && ms != 0)
        out.text("-");
    out.number(ms / 1000).text(".");
    const std::uint64_t fraction = ms % 1000;
    const char digits[3] = {static_cast<char>('0' + fraction / 100),
                            static_cast<char>('0' + fraction / 10 % 10),
                            static_cast<char>('0' + fraction % 10)};
    out.text(std::string_view(digits, 3)).text(" s");
}

// A duration for people, with minutes and hours past a minute: "243.310 s
// (4:03)".
void text_duration(io::Output& out, std::uint64_t ticks) {
    text_seconds(out, static_cast<std::int64_t>(std::min<std::uint64_t>(
                          ticks, std::numeric_limits<std::int64_t>::max())));
    const std::uint64_t seconds = ticks / kTicksPerSecond;
    if (seconds < 60)
        return;
    out.text(" (");
    if (seconds >= 3600)
        out.number(seconds / 3600).text(":");
    const std::uint64_t minutes = seconds / 60 % 60;
    if (seconds >= 3600 && minutes < 10)
        out.text("0");
    out.number(seconds >= 3600 ? minutes : seconds / 60).text(":");
    if (seconds % 60 < 10)
        out.text("0");
    out.number(seconds % 60).text(")");
}

// Bits per second as kb/s, to a tenth: "127.3 kb/s", "128 kb/s".
void text_bitrate(io::Output& out, std::uint64_t bits) {
    const std::uint64_t tenths = bits / 100 + (bits % 100 >= 50 ? 1 : 0);
    write_grouped(out, tenths / 10);
    if (tenths % 10 != 0) {
        const char digit[2] = {'.', static_cast<char>('0' + tenths % 10)};
        out.text(std::string_view(digit, 2));
    }
    out.text(" kb/s");
}

void count(io::Output& out, std::uint64_t n, std::string_view one, std::string_view many) {
    write_grouped(out, n);
    out.text(" ").text(n == 1 ? one : many);
}

// Text on one line, shortened: control characters become spaces, and text
// past `chars` characters (or cut already) ends in an ellipsis.
void text_line(io::Output& out, std::string_view text, bool cut, std::size_t chars) {
    std::size_t shown = 0;
    std::size_t i = 0;
    std::size_t run = 0;
    // One byte a pass; a character starts at each byte that is no
    // continuation byte.
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && shown++ == chars)
            break;
        if (c < 0x20 || c == 0x7f) {
            out.text(text.substr(run, i - run)).text(" ");
            run = i + 1;
        }
    }
    out.text(text.substr(run, i - run));
    if (cut || i < text.size())
        out.text(kEllipsis);
}

// The characters of UTF-8 text, as far as `most`.
std::size_t chars_of(std::string_view text, std::size_t most) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size() && n < most; ++i)
        n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

void pad(io::Output& out, std::size_t n) {
    static constexpr std::string_view kSpaces = "                                ";
    // A run of spaces a pass.
    while (n > 0) {
        const std::size_t step = std::min(n, kSpaces.size());
        out.text(kSpaces.substr(0, step));
        n -= step;
    }
}

void label(io::Output& out, std::string_view name) {
    out.text(name).text(":");
    pad(out, kLabelWidth > name.size() + 1 ? kLabelWidth - name.size() - 1 : 1);
}

void text_tag_value(io::Output& out, const TagFacts& tag) {
    switch (tag.kind) {
        case TagFacts::Kind::text:
            text_line(out, tag.text.text, tag.text.cut, kShownChars);
            return;
        case TagFacts::Kind::number:
            out.number(tag.number);
            return;
        case TagFacts::Kind::boolean:
            out.text(tag.number != 0 ? "true" : "false");
            return;
        case TagFacts::Kind::guid:
            write_guid(out, tag.guid);
            return;
        case TagFacts::Kind::bytes:
            out.text("[");
            count(out, tag.number, "byte", "bytes");
            out.text("]");
            return;
        case TagFacts::Kind::date:
            write_filetime(out, tag.number, ' ');
            out.text(" UTC");
            return;
        case TagFacts::Kind::unreadable:
            break;
    }
    out.text("(unreadable)");
}

void json_tag_value(io::Output& out, const TagFacts& tag) {
    switch (tag.kind) {
        case TagFacts::Kind::text:
            if (tag.text.cut) {
                std::string text = tag.text.text;
                text += kEllipsis;
                write_json_string(out, text);
            } else {
                write_json_string(out, tag.text.text);
            }
            return;
        case TagFacts::Kind::number:
            out.number(tag.number);
            return;
        case TagFacts::Kind::boolean:
            out.text(tag.number != 0 ? "true" : "false");
            return;
        case TagFacts::Kind::guid:
            out.text("\"");
            write_guid(out, tag.guid);
            out.text("\"");
            return;
        case TagFacts::Kind::bytes:
            out.text("{\"length\":").number(tag.number).text("}");
            return;
        case TagFacts::Kind::date:
            out.text("\"");
            write_filetime(out, tag.number, 'T');
            out.text("Z\"");
            return;
        case TagFacts::Kind::unreadable:
            break;
    }
    out.text("null");
}

// ---------------------------------------------------------------------------
// The members of a stream, shared by JSON and CSV

enum Column : std::uint8_t {
    kNumber,
    kType,
    kCodec,
    kCodecDescription,
    kFormatTag,
    kFourcc,
    kChannels,
    kSampleRate,
    kBitsPerSample,
    kWidth,
    kHeight,
    kLanguage,
    kName,
    kEncrypted,
    kBitrateDeclared,
    kDataBitrate,
    kBitrateMeasured,
    kMediaObjects,
    kKeyFrames,
    kKeyFrameIntervalMax,
    kFirstTime,
    kLastTime,
    kColumns,
};

constexpr std::string_view kColumnNames[kColumns] = {
    "number",
    "type",
    "codec",
    "codec_description",
    "format_tag",
    "fourcc",
    "channels",
    "sample_rate",
    "bits_per_sample",
    "width",
    "height",
    "language",
    "name",
    "encrypted",
    "bitrate_declared",
    "data_bitrate",
    "bitrate_measured",
    "media_objects",
    "key_frames",
    "key_frame_interval_max",
    "first_time",
    "last_time",
};

struct Cell {
    enum class Kind : std::uint8_t { absent, number, seconds, text, boolean };
    Kind kind = Kind::absent;
    std::uint64_t number = 0;
    std::int64_t ticks = 0;
    std::string_view text;

    static Cell of_number(std::uint64_t v) { return {Kind::number, v, 0, {}}; }
    static Cell of_seconds(std::int64_t ticks) { return {Kind::seconds, 0, ticks, {}}; }
    static Cell of_text(std::string_view v) { return {Kind::text, 0, 0, v}; }
    static Cell of_boolean(bool v) { return {Kind::boolean, v ? 1u : 0u, 0, {}}; }
};

using Cells = std::array<Cell, kColumns>;

Cells stream_cells(const StreamRow& row, std::uint64_t preroll) {
    const StreamFacts& s = *row.facts;
    Cells c{};
    c[kNumber] = Cell::of_number(row.number);
    c[kType] = Cell::of_text(stream_type_name(s.kind));
    if (!row.codec.empty())
        c[kCodec] = Cell::of_text(row.codec);
    if (!row.codec_description.empty())
        c[kCodecDescription] = Cell::of_text(row.codec_description);
    if (s.kind == StreamKind::audio) {
        c[kFormatTag] = Cell::of_number(s.format.format_tag);
        c[kChannels] = Cell::of_number(s.format.channels);
        c[kSampleRate] = Cell::of_number(s.format.sample_rate);
        c[kBitsPerSample] = Cell::of_number(s.format.bits_per_sample);
    }
    if (s.kind == StreamKind::video && s.format.bitmap)
        c[kFourcc] = Cell::of_text(std::string_view(row.fourcc.data(), row.fourcc.size()));
    if (has_picture_size(s.kind)) {
        c[kWidth] = Cell::of_number(s.format.width);
        c[kHeight] = Cell::of_number(s.format.height);
    }
    if (row.language != nullptr)
        c[kLanguage] = Cell::of_text(row.language->text);
    if (s.extended && s.extended_properties.named)
        c[kName] = Cell::of_text(s.extended_properties.name.text);
    c[kEncrypted] = Cell::of_boolean(s.encrypted);
    if (s.bitrate_declared)
        c[kBitrateDeclared] = Cell::of_number(s.bitrate);
    if (s.extended)
        c[kDataBitrate] = Cell::of_number(s.extended_properties.data_bitrate);
    if (row.measured == nullptr)
        return c;
    const Measured& m = *row.measured;
    const std::uint64_t first = std::uint64_t{m.first} * kTicksPerMillisecond;
    if (const auto rate = bitrate(m.bytes, row.end - first))
        c[kBitrateMeasured] = Cell::of_number(*rate);
    c[kMediaObjects] = Cell::of_number(m.objects);
    c[kKeyFrames] = Cell::of_number(m.key_frames);
    if (m.key_frames > 1) {
        c[kKeyFrameIntervalMax] = Cell::of_seconds(static_cast<std::int64_t>(
            std::uint64_t{m.longest_key_interval} * kTicksPerMillisecond));
    }
    c[kFirstTime] = Cell::of_seconds(after_preroll(first, preroll));
    c[kLastTime] =
        Cell::of_seconds(after_preroll(std::uint64_t{m.last} * kTicksPerMillisecond, preroll));
    return c;
}

// A cell's value; text as `text` writes it, quoted for JSON or for CSV.
void write_cell(io::Output& out, const Cell& cell, void (*text)(io::Output&, std::string_view)) {
    switch (cell.kind) {
        case Cell::Kind::number:
            out.number(cell.number);
            break;
        case Cell::Kind::seconds:
            json_seconds(out, cell.ticks);
            break;
        case Cell::Kind::text:
            text(out, cell.text);
            break;
        case Cell::Kind::boolean:
            out.text(cell.number != 0 ? "true" : "false");
            break;
        case Cell::Kind::absent:
            break;
    }
}

// The cells that apply as JSON members.
void json_cells(io::Output& out, const Cells& cells) {
    bool first = true;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].kind == Cell::Kind::absent)
            continue;
        out.text(first ? "\"" : ",\"").text(kColumnNames[i]).text("\":");
        first = false;
        write_cell(out, cells[i], write_json_string);
    }
}

// Every cell, as a CSV row.
void csv_cells(io::Output& out, const Cells& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i != 0)
            out.text(",");
        write_cell(out, cells[i], write_csv_field);
    }
    out.text("\r\n");
}

}  // namespace

// ---------------------------------------------------------------------------
// The events

SummaryView::SummaryView(io::Output& out, Format format) : AnswerView(out), format_(format) {
    shown_.set();
}

void SummaryView::set_streams(const decode::StreamSet& streams) {
    shown_ = streams;
}

void SummaryView::begin(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file)
        return;
    path_.assign(part.path);
    size_ = part.size;
}

void SummaryView::found(const decode::Finding& f) {
    const bool error = f.severity == decode::Severity::error;
    auto hit = std::find_if(codes_.begin(), codes_.end(),
                            [&](const CodeCount& c) { return c.code == f.code; });
    if (hit == codes_.end())
        hit = codes_.insert(codes_.end(), CodeCount{f.code});
    (error ? hit->errors : hit->warnings) += 1;
}

void SummaryView::media_object(const decode::MediaObject& object) {
    if (object.stream >= decode::kStreamNumbers)
        return;
    Measured& m = measured_[object.stream];
    const std::uint32_t time = object.presentation_time;
    if (m.objects == 0) {
        m.first = time;
        m.last = time;
        m.last_size = object.size;
    } else if (time > m.last) {
        m.interval = time - m.last;
        m.last = time;
        m.last_size = object.size;
    } else {
        m.first = std::min(m.first, time);
    }
    if (object.key_frame) {
        if (m.key_frames != 0 && time > m.last_key)
            m.longest_key_interval = std::max(m.longest_key_interval, time - m.last_key);
        if (m.key_frames == 0 || time > m.last_key)
            m.last_key = time;
        ++m.key_frames;
    }
    ++m.objects;
    m.bytes = saturating_add(m.bytes, std::uint64_t{object.size});

    // The highest bitrate over a second: packets come in the order of their
    // send times, so a second's bytes are complete when a later one starts.
    const std::uint64_t window = object.send_time / kMillisecondsPerWindow;
    if (windows_ == 0 || window > window_) {
        peak_window_bytes_ = std::max(peak_window_bytes_, window_bytes_);
        window_ = window;
        window_bytes_ = 0;
        ++windows_;
    }
    window_bytes_ = saturating_add(window_bytes_, std::uint64_t{object.size});
}

// ---------------------------------------------------------------------------
// The summary

namespace {

using CodeCount = SummaryView::CodeCount;

// All that the formats write, worked out at the end of the file.
struct Summary {
    std::string_view path;
    std::int64_t size = 0;
    const Facts* facts = nullptr;
    decode::StreamSet shown;
    std::uint64_t packets_decoded = 0;
    bool measured = false;  // packets were decoded
    std::optional<std::uint64_t> duration;
    FileMeasure file;
    std::optional<std::uint64_t> bitrate_measured;
    std::optional<std::uint64_t> bitrate_peak;
    std::vector<StreamRow> streams;     // the shown ones
    std::vector<const TagFacts*> tags;  // as tag_order() puts them
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    const std::vector<CodeCount>* codes = nullptr;
};

// ---- text

void text_file(io::Output& out, const Summary& s) {
    const Facts& f = *s.facts;
    const decode::FilePropertiesFacts& fp = f.file_properties;
    label(out, "file");
    text_line(out, s.path, false, s.path.size());
    out.end_line();
    label(out, "size");
    count(out, static_cast<std::uint64_t>(std::max<std::int64_t>(s.size, 0)), "byte", "bytes");
    out.end_line();

    label(out, "duration");
    if (s.duration) {
        text_duration(out, *s.duration);
    } else {
        out.text(fp.present ? "not kept (a broadcast file)" : "unknown (no File Properties)");
    }
    if (s.file.present) {
        out.text("; measured ");
        text_duration(out, s.file.duration());
    }
    out.end_line();

    label(out, "bitrate");
    if (fp.present && fp.maximum_bitrate != 0) {
        text_bitrate(out, fp.maximum_bitrate);
        out.text(" at most, as declared");
    } else {
        out.text("not declared");
    }
    if (s.bitrate_measured) {
        out.text("; measured ");
        text_bitrate(out, *s.bitrate_measured);
    }
    if (s.bitrate_peak) {
        out.text(", ");
        text_bitrate(out, *s.bitrate_peak);
        out.text(" in the busiest second");
    }
    out.end_line();

    label(out, "packets");
    if (f.data.present && f.data.packet_size != 0) {
        count(out, f.data.packets, "packet", "packets");
        out.text(" of ");
        count(out, f.data.packet_size, "byte", "bytes");
        if (s.packets_decoded != f.data.packets) {
            out.text(", ");
            write_grouped(out, s.packets_decoded);
            out.text(" decoded");
        }
    } else {
        out.text("none found");
    }
    out.end_line();

    if (fp.present) {
        label(out, "flags");
        if (fp.broadcast() && fp.seekable()) {
            out.text("broadcast, seekable");
        } else if (fp.broadcast() || fp.seekable()) {
            out.text(fp.broadcast() ? "broadcast" : "seekable");
        } else {
            out.text("neither broadcast nor seekable");
        }
        out.end_line();
        label(out, "created");
        if (fp.creation_date != 0) {
            write_filetime(out, fp.creation_date, ' ');
            out.text(" UTC");
        } else {
            out.text("unknown");
        }
        out.end_line();
    }

    label(out, "protected");
    if (!f.protection.any()) {
        out.text("no");
    } else {
        out.text("yes:");
        bool first = true;
        for (const ProtectionName& p : kProtectionNames) {
            if (f.protection.*p.present) {
                out.text(first ? " " : ", ").text(p.text);
                first = false;
            }
        }
    }
    out.end_line();
}

void text_stream(io::Output& out, const StreamRow& row, std::uint64_t preroll) {
    const StreamFacts& s = *row.facts;
    constexpr std::string_view kIndent = "     ";
    out.text("  #").number(row.number);
    pad(out, row.number < 10 ? 2 : row.number < 100 ? 1 : 0);
    out.text(" ").text(stream_type_name(s.kind)).text("  ");
    if (!row.codec.empty()) {
        text_line(out, row.codec, false, kShownChars);
        if (!row.table_codec.empty() && row.table_codec != row.codec)
            out.text(" (").text(row.table_codec).text(")");
    } else if (s.kind == StreamKind::audio) {
        out.text("format tag 0x").hex_number(s.format.format_tag);
    } else if (s.kind == StreamKind::video && s.format.bitmap) {
        out.text("FourCC ").text(std::string_view(row.fourcc.data(), row.fourcc.size()));
    } else {
        out.text("no codec named");
    }
    if (s.kind == StreamKind::audio) {
        out.text(", ");
        write_grouped(out, s.format.sample_rate);
        out.text(" Hz, ");
        count(out, s.format.channels, "channel", "channels");
        if (s.format.bits_per_sample != 0) {
            out.text(", ");
            count(out, s.format.bits_per_sample, "bit", "bits");
        }
    } else if (has_picture_size(s.kind)) {
        out.text(", ").number(s.format.width).text("x").number(s.format.height);
    }
    if (row.language != nullptr && !row.language->text.empty()) {
        out.text(", language ");
        text_line(out, row.language->text, row.language->cut, kShownChars);
    }
    if (s.extended && s.extended_properties.named) {
        out.text(", \"");
        text_line(out, s.extended_properties.name.text, s.extended_properties.name.cut,
                  kShownChars);
        out.text("\"");
    }
    if (s.encrypted)
        out.text(", encrypted");
    out.end_line();

    const Cells cells = stream_cells(row, preroll);
    const bool declared = s.bitrate_declared || s.extended;
    if (declared || cells[kBitrateMeasured].kind != Cell::Kind::absent) {
        out.text(kIndent);
        std::string_view separator = "";
        if (s.bitrate_declared) {
            text_bitrate(out, s.bitrate);
            out.text(" declared");
            separator = ", ";
        }
        if (s.extended) {
            out.text(separator);
            text_bitrate(out, s.extended_properties.data_bitrate);
            out.text(" data bitrate");
            separator = ", ";
        }
        if (cells[kBitrateMeasured].kind != Cell::Kind::absent) {
            out.text(separator);
            text_bitrate(out, cells[kBitrateMeasured].number);
            out.text(" measured");
        }
        out.end_line();
    }
    if (row.measured == nullptr)
        return;
    const Measured& m = *row.measured;
    out.text(kIndent);
    count(out, m.objects, "media object", "media objects");
    // Audio streams mark every object a key frame, or none.
    if (s.kind != StreamKind::audio) {
        out.text(", ");
        count(out, m.key_frames, "key frame", "key frames");
        if (m.key_frames > 1) {
            out.text(" at most ");
            text_seconds(out, cells[kKeyFrameIntervalMax].ticks);
            out.text(" apart");
        }
    }
    out.text(", ");
    text_seconds(out, cells[kFirstTime].ticks);
    out.text(" to ");
    text_seconds(out, cells[kLastTime].ticks);
    out.end_line();
}

void text_tags(io::Output& out, const Summary& s) {
    const Facts& f = *s.facts;
    std::uint64_t shown = 0;
    std::size_t width = 0;
    for (const TagFacts* tag : s.tags) {
        if (scope_of(*tag, f, s.shown) == TagScope::hidden)
            continue;
        ++shown;
        width = std::max(width, chars_of(tag->name.text, kMaxTagNameWidth));
    }
    label(out, "tags");
    if (shown == 0 && f.tags.more == 0) {
        out.text("none").end_line();
    } else {
        write_grouped(out, shown);
        if (f.tags.more != 0) {
            out.text(", and ");
            write_grouped(out, f.tags.more);
            out.text(" more not kept");
        }
        out.end_line();
    }
    for (const TagFacts* kept : s.tags) {
        const TagFacts& tag = *kept;
        const TagScope scope = scope_of(tag, f, s.shown);
        if (scope == TagScope::hidden)
            continue;
        out.text("  ");
        text_line(out, tag.name.text, tag.name.cut, kShownChars);
        pad(out, width + 2 - std::min(width, chars_of(tag.name.text, kMaxTagNameWidth)));
        text_tag_value(out, tag);
        if (scope == TagScope::stream)
            out.text("  (stream ").number(tag.stream).text(")");
        out.end_line();
    }
    if (f.pictures.kept.empty())
        return;
    label(out, "pictures");
    write_grouped(out, f.pictures.kept.size() + f.pictures.more);
    out.end_line();
    for (const decode::PictureFacts& p : f.pictures.kept) {
        out.text("  ");
        const std::string_view type = asf::name_of(p.type, asf::kPictureTypes);
        if (type.empty()) {
            out.text("picture type ").number(p.type);
        } else {
            out.text(type);
        }
        out.text(", ");
        text_line(out, p.mime_type.text, p.mime_type.cut, kShownChars);
        out.text(", ");
        count(out, p.size, "byte", "bytes");
        if (!p.description.text.empty()) {
            out.text(", \"");
            text_line(out, p.description.text, p.description.cut, kShownChars);
            out.text("\"");
        }
        out.end_line();
    }
}

void text_indexes(io::Output& out, const Facts& f) {
    label(out, "indexes");
    if (f.indexes.kept.empty()) {
        out.text("none: players will seek slowly").end_line();
        return;
    }
    write_grouped(out, f.indexes.kept.size() + f.indexes.more);
    out.end_line();
    for (const IndexFacts& index : f.indexes.kept) {
        out.text("  ").text(index_name(index.type).text).text(": ");
        count(out, index.entries, "entry", "entries");
        if (index.interval != 0) {
            out.text(" ");
            text_seconds(out, static_cast<std::int64_t>(std::min<std::uint64_t>(
                                  index.interval, std::numeric_limits<std::int64_t>::max())));
            out.text(" apart, covering ");
            text_duration(out, saturating_multiply(index.entries, index.interval));
        }
        if (index.stream != 0) {
            out.text(index.specifiers > 1 ? ", streams " : ", stream ").number(index.stream);
            if (index.specifiers > 1)
                out.text(" and ").number(index.specifiers - 1).text(" more");
        }
        out.end_line();
    }
}

// "1 error (packet-length), 2 warnings (header-count, zero-fill)"
void text_verdict(io::Output& out, const Summary& s) {
    label(out, "verdict");
    const auto by_code = [&](std::uint64_t CodeCount::*severity) {
        std::string_view separator = " (";
        for (const CodeCount& c : *s.codes) {
            if (c.*severity == 0)
                continue;
            out.text(separator).text(c.code);
            if (c.*severity > 1) {
                out.text(" x");
                write_grouped(out, c.*severity);
            }
            separator = ", ";
        }
        if (separator != " (")
            out.text(")");
    };
    count(out, s.errors, "error", "errors");
    by_code(&CodeCount::errors);
    out.text(", ");
    count(out, s.warnings, "warning", "warnings");
    by_code(&CodeCount::warnings);
    if (s.errors + s.warnings != 0)
        out.text("; --check lists them");
    out.end_line();
}

void write_text(io::Output& out, const Summary& s) {
    text_file(out, s);
    label(out, "streams");
    write_grouped(out, s.streams.size());
    out.end_line();
    for (const StreamRow& row : s.streams)
        text_stream(out, row, s.facts->file_properties.preroll);
    text_tags(out, s);
    text_indexes(out, *s.facts);
    text_verdict(out, s);
}

// ---- JSON

// The tags of one scope (the file, or stream `stream`) as members of an
// object: a name met once has its value, one met again an array of them.
void json_tags(io::Output& out, const Summary& s, TagScope scope, std::uint16_t stream) {
    const Facts& f = *s.facts;
    const std::vector<const TagFacts*>& tags = s.tags;
    const auto in_scope = [&](const TagFacts& t) {
        return scope_of(t, f, s.shown) == scope &&
               (scope != TagScope::stream || t.stream == stream);
    };
    out.text("{");
    bool first = true;
    // Each name once, where it is first met; the kept tags are few (at most
    // kMaxKeptTags), so the search for the others of a name is short.
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (!in_scope(*tags[i]))
            continue;
        const std::string_view name = tags[i]->name.text;
        const auto same = [&](const TagFacts* t) { return in_scope(*t) && t->name.text == name; };
        if (std::any_of(tags.begin(), tags.begin() + static_cast<std::ptrdiff_t>(i), same))
            continue;
        const auto n =
            std::count_if(tags.begin() + static_cast<std::ptrdiff_t>(i), tags.end(), same);
        out.text(first ? "" : ",");
        first = false;
        write_json_string(out, name);
        out.text(n > 1 ? ":[" : ":");
        bool first_value = true;
        for (std::size_t j = i; j < tags.size(); ++j) {
            if (!same(tags[j]))
                continue;
            out.text(first_value ? "" : ",");
            first_value = false;
            json_tag_value(out, *tags[j]);
        }
        out.text(n > 1 ? "]" : "");
    }
    out.text("}");
}

void json_stream(io::Output& out, const Summary& s, const StreamRow& row) {
    out.text("{");
    json_cells(out, stream_cells(row, s.facts->file_properties.preroll));
    const Facts& f = *s.facts;
    const bool tagged = std::any_of(f.tags.kept.begin(), f.tags.kept.end(), [&](const TagFacts& t) {
        return scope_of(t, f, s.shown) == TagScope::stream && t.stream == row.number;
    });
    if (tagged) {
        out.text(",\"tags\":");
        json_tags(out, s, TagScope::stream, row.number);
    }
    out.text("}");
}

void json_indexes(io::Output& out, const Facts& f) {
    out.text("[");
    bool first = true;
    for (const IndexFacts& index : f.indexes.kept) {
        out.text(first ? "{\"type\":\"" : ",{\"type\":\"").text(index_name(index.type).key);
        first = false;
        out.text("\",\"entries\":").number(index.entries);
        if (index.stream != 0)
            out.text(",\"stream\":").number(index.stream);
        if (index.interval != 0) {
            out.text(",\"interval\":");
            write_seconds(out, index.interval, decode::Unit::hundred_nanoseconds);
            out.text(",\"covers\":");
            write_seconds(out, saturating_multiply(index.entries, index.interval),
                          decode::Unit::hundred_nanoseconds);
        }
        out.text("}");
    }
    out.text("]");
}

void write_json(io::Output& out, const Summary& s) {
    const Facts& f = *s.facts;
    const decode::FilePropertiesFacts& fp = f.file_properties;
    out.text("{\"version\":\"" ASFINSPECT_VERSION "\",\"file\":{\"path\":");
    write_json_string(out, s.path);
    out.text(",\"size\":").signed_number(s.size).text("}");
    if (s.duration) {
        out.text(",\"duration\":");
        write_seconds(out, *s.duration, decode::Unit::hundred_nanoseconds);
    }
    if (s.file.present) {
        out.text(",\"duration_measured\":");
        write_seconds(out, s.file.duration(), decode::Unit::hundred_nanoseconds);
    }
    if (fp.present) {
        out.text(",\"preroll\":");
        write_seconds(out, fp.preroll, decode::Unit::milliseconds);
        if (fp.maximum_bitrate != 0)
            out.text(",\"bitrate\":").number(fp.maximum_bitrate);
    }
    if (s.bitrate_measured)
        out.text(",\"bitrate_measured\":").number(*s.bitrate_measured);
    if (s.bitrate_peak)
        out.text(",\"bitrate_peak\":").number(*s.bitrate_peak);
    if (f.data.present && f.data.packet_size != 0) {
        out.text(",\"packet_size\":").number(f.data.packet_size);
        out.text(",\"packets\":").number(f.data.packets);
    }
    out.text(",\"packets_decoded\":").number(s.packets_decoded);
    if (fp.present) {
        out.text(",\"broadcast\":").text(fp.broadcast() ? "true" : "false");
        out.text(",\"seekable\":").text(fp.seekable() ? "true" : "false");
        if (fp.creation_date != 0) {
            out.text(",\"created\":\"");
            write_filetime(out, fp.creation_date, 'T');
            out.text("Z\"");
        }
    }
    out.text(",\"protected\":").text(f.protection.any() ? "true" : "false");
    if (f.protection.any()) {
        out.text(",\"protection\":[");
        bool first = true;
        for (const ProtectionName& p : kProtectionNames) {
            if (f.protection.*p.present) {
                out.text(first ? "\"" : ",\"").text(p.key).text("\"");
                first = false;
            }
        }
        out.text("]");
    }
    out.text(",\"streams\":[");
    for (std::size_t i = 0; i < s.streams.size(); ++i) {
        out.text(i == 0 ? "" : ",");
        json_stream(out, s, s.streams[i]);
    }
    out.text("],\"tags\":");
    json_tags(out, s, TagScope::file, 0);
    if (f.tags.more != 0)
        out.text(",\"tags_not_kept\":").number(f.tags.more);
    out.text(",\"pictures\":[");
    for (std::size_t i = 0; i < f.pictures.kept.size(); ++i) {
        const decode::PictureFacts& p = f.pictures.kept[i];
        out.text(i == 0 ? "{\"type\":" : ",{\"type\":").number(p.type);
        const std::string_view type = asf::name_of(p.type, asf::kPictureTypes);
        if (!type.empty())
            out.text(",\"type_name\":\"").text(type).text("\"");
        out.text(",\"mime_type\":");
        write_json_string(out, p.mime_type.text);
        out.text(",\"description\":");
        write_json_string(out, p.description.text);
        out.text(",\"size\":").number(p.size).text("}");
    }
    out.text("]");
    if (f.pictures.more != 0)
        out.text(",\"pictures_not_kept\":").number(f.pictures.more);
    out.text(",\"indexes\":");
    json_indexes(out, f);
    out.text(",\"verdict\":{\"errors\":").number(s.errors);
    out.text(",\"warnings\":").number(s.warnings).text(",\"codes\":[");
    for (std::size_t i = 0; i < s.codes->size(); ++i) {
        const CodeCount& c = (*s.codes)[i];
        out.text(i == 0 ? "{\"code\":\"" : ",{\"code\":\"").text(c.code);
        out.text("\",\"errors\":").number(c.errors);
        out.text(",\"warnings\":").number(c.warnings).text("}");
    }
    out.text("]}}").end_line();
}

// ---- CSV

// With `path`, the rows begin with the file's path, under a `path` column.
void write_csv_header_row(io::Output& out, bool path) {
    out.text(path ? "path," : "");
    for (std::size_t i = 0; i < std::size(kColumnNames); ++i)
        out.text(i == 0 ? "" : ",").text(kColumnNames[i]);
    out.text("\r\n");
}

// Several files share the header row, which the run writes before them.
void write_csv(io::Output& out, const Summary& s, bool path) {
    if (!path)
        write_csv_header_row(out, false);
    for (const StreamRow& row : s.streams) {
        if (path) {
            write_csv_field(out, s.path);
            out.text(",");
        }
        csv_cells(out, stream_cells(row, s.facts->file_properties.preroll));
    }
}

}  // namespace

void SummaryView::write_csv_header(io::Output& out, bool path) {
    write_csv_header_row(out, path);
}

void SummaryView::end(const decode::Part& part) {
    if (part.kind != decode::Part::Kind::file)
        return;
    static const Facts kNoFacts;
    const Facts& facts = part.summary->facts != nullptr ? *part.summary->facts : kNoFacts;
    Summary s;
    s.path = path_;
    s.size = size_;
    s.facts = &facts;
    s.shown = shown_;
    s.packets_decoded = part.summary->packets;
    s.measured = s.packets_decoded != 0;
    s.duration = declared_duration(facts.file_properties);
    if (s.measured) {
        s.file = measure_file(facts, measured_);
        if (s.file.present)
            s.bitrate_measured = bitrate(s.file.bytes, s.file.duration());
        // Over whole seconds only: a file shorter than two has none.
        if (windows_ > 1)
            s.bitrate_peak =
                saturating_multiply(std::max(peak_window_bytes_, window_bytes_), kBitsPerByte);
    }
    for (const StreamRow& row : stream_rows(facts, measured_, s.measured)) {
        if (shown_.test(row.number))
            s.streams.push_back(row);
    }
    s.tags = tag_order(facts);
    s.errors = errors();
    s.warnings = warnings();
    s.codes = &codes_;
    switch (format_) {
        case Format::text:
            write_text(out_, s);
            break;
        case Format::json:
            write_json(out_, s);
            break;
        case Format::csv:
            write_csv(out_, s, csv_path_);
            break;
    }
}

}  // namespace asfinspect::view

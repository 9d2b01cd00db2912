// The summary: what it says of real files agrees with ffprobe and
// mutagen-inspect; how it measures a stream, matches codecs and bounds tags;
// its verdict, JSON and CSV.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "decode_helpers.hpp"
#include "json_check.hpp"
#include "view/html_report.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"

using namespace asftest;
using asfinspect::asf::guid_named;
using asfinspect::decode::DecodeOptions;
using asfinspect::decode::PacketRange;
using asfinspect::decode::StreamSet;
using asfinspect::view::SummaryView;
using Format = SummaryView::Format;

namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = ASFINSPECT_SOURCE_DIR;
const fs::path kSamplesDir = ASFINSPECT_SAMPLES_DIR;

struct Summarized {
    std::string text;
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
};

Summarized summarize(const Bytes& file, Format format, const DecodeOptions& options = {},
                     const std::optional<StreamSet>& streams = std::nullopt,
                     const std::string& path = "test.asf") {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    SummaryView view(out, format);
    if (streams)
        view.set_streams(*streams);
    asfinspect::decode::decode_file(reader, view, view, path, options);
    return {out.text_so_far(), view.errors(), view.warnings()};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The number after the first `"key":` from `from` on, or NaN.
double number_member(const std::string& json, const std::string& key, std::size_t from = 0) {
    const auto at = json.find("\"" + key + "\":", from);
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

// The records of RFC 4180 CSV (CRLF line ends, quoted fields with doubled
// quotes), or nothing when the text is not that.
std::optional<std::vector<std::vector<std::string>>> parse_csv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    for (std::size_t i = 0; i < text.size();) {
        std::string& field = records.back().back();
        if (text[i] == '"' && field.empty()) {
            // A quoted field, up to its closing quote.
            for (++i; i < text.size() && !(text[i] == '"' && text.compare(i, 2, "\"\"") != 0);
                 i += text[i] == '"' ? 2 : 1) {
                field += text[i];
            }
            if (i++ == text.size())
                return std::nullopt;
        } else if (text[i] == ',') {
            records.back().emplace_back();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            records.emplace_back(1);
            i += 2;
        } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
            return std::nullopt;
        } else {
            field += text[i++];
        }
    }
    if (records.back() != std::vector<std::string>(1))
        return std::nullopt;  // no line end after the last record
    records.pop_back();
    return records;
}

// The streams of a CSV summary, each column by name.
std::vector<std::map<std::string, std::string>> csv_streams(const std::string& csv) {
    const auto records = parse_csv(csv);
    EXPECT_TRUE(records.has_value()) << csv;
    std::vector<std::map<std::string, std::string>> rows;
    if (!records || records->empty())
        return rows;
    for (std::size_t r = 1; r < records->size(); ++r) {
        EXPECT_EQ((*records)[r].size(), (*records)[0].size());
        auto& row = rows.emplace_back();
        for (std::size_t c = 0; c < (*records)[r].size() && c < (*records)[0].size(); ++c)
            row[(*records)[0][c]] = (*records)[r][c];
    }
    return rows;
}

Bytes utf16(std::string_view ascii) {
    Bytes b;
    for (const char c : ascii)
        put16(b, static_cast<std::uint8_t>(c));
    put16(b, 0);
    return b;
}

// An Extended Content Description Object of text descriptors.
Bytes descriptors(const std::vector<std::pair<std::string, std::string>>& tags) {
    Bytes b;
    put16(b, tags.size());
    for (const auto& [name, value] : tags) {
        put16(b, utf16(name).size());
        put(b, utf16(name));
        put16(b, 0);  // Unicode string
        put16(b, utf16(value).size());
        put(b, utf16(value));
    }
    return object(guid_named("ASF_Extended_Content_Description_Object"), b);
}

// A Codec List Object of (type, name) entries, without descriptions.
Bytes codec_list(const std::vector<std::pair<std::uint16_t, std::string>>& entries) {
    Bytes b;
    put(b, asfinspect::asf::guids::kReserved2);
    put32(b, entries.size());
    for (const auto& [type, name] : entries) {
        put16(b, type);
        put16(b, name.size() + 1);  // WCHARs
        put(b, utf16(name));
        put16(b, 0);
        put16(b, 0);
    }
    return object(guid_named("ASF_Codec_List_Object"), b);
}

// An Extended Stream Properties Object with a Data Bitrate of 64000, a
// name when `name` isn't empty, and `embedded` (a Stream Properties Object)
// after it.
Bytes extended_stream(std::uint16_t stream, std::uint16_t language, std::uint64_t frame_time,
                      std::string_view name = {}, const Bytes& embedded = {}) {
    Bytes b;
    put64(b, 0);  // start and end time
    put64(b, 0);
    put32(b, 64000);
    for (int i = 0; i < 6; ++i)
        put32(b, 0);  // buffers, alternates, maximum object size
    put32(b, 0);      // flags
    put16(b, stream);
    put16(b, language);
    put64(b, frame_time);
    put16(b, name.empty() ? 0 : 1);
    put16(b, 0);  // payload extension systems
    if (!name.empty()) {
        put16(b, 0);
        put16(b, utf16(name).size());
        put(b, utf16(name));
    }
    put(b, embedded);
    return object(guid_named("ASF_Extended_Stream_Properties_Object"), b);
}

Bytes language_list(const std::vector<std::string>& ids) {
    Bytes b;
    put16(b, ids.size());
    for (const std::string& id : ids) {
        put8(b, utf16(id).size());
        put(b, utf16(id));
    }
    return object(guid_named("ASF_Language_List_Object"), b);
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A stream as ffprobe -show_streams shows it: codec_tag (the FourCC, or the
// format tag), channels, sample_rate, width, height.
struct ProbedStream {
    std::string type;
    std::string codec;  // the fourcc or format_tag column
    std::string channels, sample_rate, width, height;
    double frame_rate = NAN;  // avg_frame_rate, where ffprobe has one
};

struct RealFile {
    fs::path path;
    bool sample;  // among the real-world samples, which may be absent
    // ffprobe's stream duration (Play Duration less Preroll), in seconds.
    double duration;
    // Where the media objects end, as ffprobe finds it; NaN where it has no
    // such figure.
    double measured;
    double frame;  // the tolerance: a frame, or one media object of audio
    std::vector<ProbedStream> streams;
    // As mutagen-inspect shows the tags (exiftool for the picture).
    std::vector<std::string> json;
};

const RealFile kRealFiles[] = {
    {"examples/testsrc.wmv",
     false,
     3.046,
     3.046,
     1.0 / 15,
     {{"video", "WMV2", "", "", "160", "120", 15}, {"audio", "353", "1", "22050", "", ""}},
     {"\"tags\":{}"}},
    {"tests/data/wmv1-wmav1-p1000.asf",
     false,
     2.046,
     2.046,
     0.1,
     {{"video", "WMV1", "", "", "160", "120", 10}, {"audio", "352", "1", "22050", "", ""}},
     {}},
    {"tests/data/msmpeg4-mp3-p8192.asf",
     false,
     2.05,
     2.05,
     0.1,
     {{"video", "MP43", "", "", "160", "120", 10}, {"audio", "85", "1", "22050", "", ""}},
     {}},
    {"tests/data/msmpeg4v2-pcm-p3200.asf",
     false,
     2.0,
     2.0,
     0.125,
     {{"video", "MP42", "", "", "128", "96", 8}, {"audio", "1", "1", "8000", "", ""}},
     {}},
    {"tests/data/audio-wmav2-p1000.wma",
     false,
     3.018,
     3.018,
     0.047,
     {{"audio", "353", "2", "44100", "", ""}},
     {"\"indexes\":[]"}},
    {"tests/data/video-wmv2-p8192.wmv",
     false,
     2.0,
     2.0,
     1.0 / 12,
     {{"video", "WMV2", "", "", "176", "144", 12}},
     {}},
    {"tests/data/chapters-wmv2-wmav2-p1000.wmv",
     false,
     2.046,
     2.046,
     0.1,
     {{"video", "WMV2", "", "", "160", "120", 10}, {"audio", "353", "1", "22050", "", ""}},
     {"\"Title\":\"Chaptered\"", "\"Author\":[\"asfinspect tests\",\"asfinspect tests\"]",
      "\"title\":\"Chaptered\"", "\"tags\":{\"AspectRatioX\":1,\"AspectRatioY\":1}",
      "\"indexes\":[{\"type\":\"simple_index\",\"entries\":7,\"streams\":[1],\"interval\":1,"
      "\"covers\":7}]"}},
    // GStreamer starts the video's presentation times 1000 hours in, as
    // ffprobe's start_time of 3600000 s shows; its format duration is the
    // 3600002 s measured here.
    {"tests/data/gstreamer/wmv2-wmav2-p2048.wmv",
     false,
     2.0,
     3600002.0,
     1.0 / 15,
     {{"video", "WMV2", "", "", "160", "120", 15}, {"audio", "353", "1", "22050", "", ""}},
     {}},
    // Broadcast: no duration kept, for ffprobe either.
    {"tests/data/gstreamer/wmv2-wmav2-p2048-streamable.wmv",
     false,
     NAN,
     3600002.0,
     1.0 / 15,
     {{"video", "WMV2", "", "", "160", "120", 15}, {"audio", "353", "1", "22050", "", ""}},
     {"\"broadcast\":true"}},
    {"elephant.asf",
     true,
     27.699,
     27.699,
     0.2,
     {{"audio", "353", "1", "8000", "", ""}, {"video", "MP43", "", "", "160", "120"}},
     {"\"Title\":\"\",\"Author\":\"\",\"Copyright\":\"\",\"Description\":\"\",\"Rating\":\"\""}},
    // WMA 9 packs about 0.37 s in a media object.
    {"issue-57.wma",
     true,
     2.045,
     2.045,
     0.372,
     {{"audio", "353", "2", "44100", "", ""}},
     {"\"WM/Composer\":[\"Anthony Kiedis\",\"Chad Smith\",\"Flea\",\"John Frusciante\"]",
      "\"WM/TrackNumber\":\"14\"", "\"IsVBR\":false",
      "\"tags\":{\"IsVBR\":false,\"DeviceConformanceTemplate\":\"L1\"}",
      "\"bitrate_mode\":\"CBR\",\"bitrate_measured\"",
      "\"pictures\":[{\"type\":3,\"type_name\":\"Cover (front)\",\"mime_type\":\"image/jpeg\","
      "\"description\":\"\",\"size\":40774}]"}},
    {"musicbrainz-tagged.wma",
     true,
     2.135,
     2.135,
     0.372,
     {{"audio", "353", "2", "44100", "", ""}},
     {"\"Description\":\"Test 123\"", "\"WM/ARTISTS\":[\"Beth Hart\",\"Joe Bonamassa\"]",
      "\"WM/Genre\":\" \"", "\"MusicBrainz/Album Id\":\"e7050302-74e6-42e4-aba0-09efd5d431d8\""}},
    // Cut short: the header declares 243 s, as mutagen shows; ffprobe's
    // guess from the data is no measure of where its objects end.
    {"plain.wma",
     true,
     243.306,
     NAN,
     0.372,
     {{"audio", "353", "2", "44100", "", ""}},
     {"\"Rating\":\"\"",
      "\"Copyright\":\"(P) 1979 SONY BMG MUSIC ENTERTAINMENT; (c) 2000 Sony Music "
      "Entertainment Inc.\""}},
    {"thirty-dirty-birds.wma",
     true,
     14.466,
     14.466,
     0.372,
     {{"audio", "353", "2", "44100", "", ""}},
     {"\"language\":\"en-us\"", "\"WM/EncodingTime\":\"2006-05-29T17:33:02Z\"",
      "\"WM/MCDI\":{\"length\":172}",
      "\"WM/Composer\":[\"Anthony Kiedis\",\"Cliff Martinez\",\"Flea\",\"Jack Sherman\"]"}},
};

}  // namespace

TEST(Summary, RealFilesAgreeWithFfprobeAndMutagen) {
    for (const RealFile& f : kRealFiles) {
        const fs::path path = f.sample ? kSamplesDir / f.path : kSourceDir / f.path;
        if (!fs::exists(path)) {
            ASSERT_TRUE(f.sample) << path;
            continue;  // the samples are not in every checkout
        }
        SCOPED_TRACE(f.path.string());
        const Bytes bytes = read_file(path);
        const Summarized json = summarize(bytes, Format::json, {}, std::nullopt, path.string());
        EXPECT_TRUE(JsonChecker(json.text).valid()) << json.text;
        if (std::isnan(f.duration)) {
            EXPECT_FALSE(contains(json.text, "\"duration\":"));
        } else {
            EXPECT_DOUBLE_EQ(number_member(json.text, "duration"), f.duration);
        }
        if (!std::isnan(f.measured)) {
            EXPECT_NEAR(number_member(json.text, "duration_measured"), f.measured, f.frame);
        }
        for (const std::string& part : f.json)
            EXPECT_TRUE(contains(json.text, part)) << part << "\n" << json.text;

        const auto rows = csv_streams(summarize(bytes, Format::csv).text);
        ASSERT_EQ(rows.size(), f.streams.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ProbedStream& probed = f.streams[i];
            auto row = rows[i];
            EXPECT_EQ(row["type"], probed.type);
            EXPECT_EQ(probed.type == "audio" ? row["format_tag"] : row["fourcc"], probed.codec);
            EXPECT_NE(row["codec"], "");
            EXPECT_EQ(row["channels"], probed.channels);
            EXPECT_EQ(row["sample_rate"], probed.sample_rate);
            EXPECT_EQ(row["width"], probed.width);
            EXPECT_EQ(row["height"], probed.height);
            if (!std::isnan(probed.frame_rate)) {
                EXPECT_NEAR(std::stod(row["frame_rate"]), probed.frame_rate,
                            probed.frame_rate / 100);
            }
        }

        // The verdict is the check's.
        const std::string check = decode_with<asfinspect::check::CheckView>(
            bytes, {}, asfinspect::check::CheckView::Format::json);
        EXPECT_EQ(number_member(check, "errors", check.rfind("\"errors\":")), json.errors);
        EXPECT_EQ(number_member(check, "warnings", check.rfind("\"warnings\":")), json.warnings);
    }
}

TEST(Summary, VerdictNamesTheCodesOfTheFindings) {
    FileSpec faulty;
    faulty.header_count = 9;
    faulty.packets[0].padding_delta = 5;
    faulty.packets[2].padding_delta = 5;
    faulty.file_size = 1;
    const std::pair<FileSpec, std::string> cases[] = {
        {{}, "verdict:   0 errors, 0 warnings\n"},
        {faulty,
         "verdict:   3 errors (header-count, packet-fill x2), 1 warning (file-size); --check "
         "lists them\n"},
    };
    for (const auto& [spec, verdict] : cases) {
        const std::string text = summarize(build(spec), Format::text).text;
        EXPECT_TRUE(text.ends_with(verdict)) << text;
    }
}

TEST(Summary, HeaderAloneLeavesWhatPacketsMeasureOut) {
    const Bytes file = build({});
    DecodeOptions header_only;
    header_only.packets = PacketRange::none();
    const std::string json = summarize(file, Format::json, header_only).text;
    EXPECT_TRUE(JsonChecker(json).valid()) << json;
    EXPECT_TRUE(contains(json, "\"duration\":0.3,")) << json;
    EXPECT_TRUE(contains(json, "\"packets\":3,\"packets_declared\":3,\"packets_decoded\":0,"))
        << json;
    EXPECT_TRUE(contains(json, "\"codec\":\"WMV 2\",\"fourcc\":\"WMV2\"")) << json;
    for (const char* measured :
         {"duration_measured", "bitrate_measured", "media_objects", "first_time", "bitrate_peak"}) {
        EXPECT_FALSE(contains(json, measured)) << measured;
    }
    EXPECT_FALSE(contains(summarize(file, Format::text, header_only).text, "measured"));
    EXPECT_TRUE(contains(summarize(file, Format::json).text, "\"duration_measured\":0.2,"));
}

// The Play Duration and an index's interval are 64 bits: values past 2^63
// ticks are written as they are, never as negative times.
TEST(Summary, DeclaredDurationsPast2To63TicksStayPositive) {
    FileSpec spec;
    spec.play_duration = 0xF000'0000'0000'0000;  // the preroll is 1 s
    Bytes index(16, 0xf1);                       // File ID
    put64(index, 0x8000'0000'0000'0001);         // Index Entry Time Interval
    put32(index, 1);                             // Maximum Packet Count
    put32(index, 2);                             // Index Entries Count
    put(index, Bytes(12, 0));
    spec.trailing = object(guid_named("ASF_Simple_Index_Object"), index);
    const std::string json = summarize(build(spec), Format::json).text;
    EXPECT_TRUE(JsonChecker(json).valid()) << json;
    for (const char* part :
         {"\"duration\":1729382256909.270464,", "\"interval\":922337203685.4775809,",
          "\"covers\":1844674407370.9551615}"}) {
        EXPECT_TRUE(contains(json, part)) << part << "\n" << json;
    }
}

// Every view gives a stream the bitrate its media objects measure: the
// summary, the timeline's totals at any interval, and the report; no busiest
// second is below its average.
TEST(Summary, EveryViewGivesTheSameMeasuredBitrate) {
    for (const RealFile& f : kRealFiles) {
        const fs::path path = f.sample ? kSamplesDir / f.path : kSourceDir / f.path;
        if (!fs::exists(path))
            continue;
        SCOPED_TRACE(f.path.string());
        const Bytes bytes = read_file(path);
        const std::string summary = summarize(bytes, Format::json).text;
        // stream -> bitrate_measured, and the file's.
        std::map<double, double> measured;
        for (std::size_t at = summary.find("{\"number\":"); at != std::string::npos;
             at = summary.find("{\"number\":", at + 1)) {
            const double rate = number_member(summary, "bitrate_measured", at);
            measured[number_member(summary, "number", at)] = rate;
            EXPECT_GE(number_member(summary, "bitrate_peak", at), rate);
        }
        EXPECT_GE(number_member(summary, "bitrate_peak"),
                  number_member(summary, "bitrate_measured"));
        for (const std::uint64_t interval : {100u, 1000u, 10000u}) {
            const std::string timeline = decode_with<asfinspect::view::TimelineView>(
                bytes, {}, asfinspect::view::TimelineView::Format::json, interval);
            const std::size_t totals = timeline.find("\"totals\":");
            const std::size_t buckets = timeline.find("\"buckets\":", totals);
            ASSERT_NE(buckets, std::string::npos);
            for (std::size_t at = timeline.find("{\"stream\":", totals); at < buckets;
                 at = timeline.find("{\"stream\":", at + 1)) {
                const double stream = number_member(timeline, "stream", at);
                if (measured.count(stream) != 0 && !std::isnan(measured[stream])) {
                    EXPECT_EQ(number_member(timeline, "bitrate", at), measured[stream]) << interval;
                }
            }
        }
        const std::string report = decode_with<asfinspect::view::HtmlReport>(bytes, {});
        const std::string text = summarize(bytes, Format::text).text;
        const auto line = text.find("bitrate:");
        EXPECT_TRUE(contains(report, text.substr(line, text.find('\n', line) - line)));
    }
}

TEST(Summary, CodecListEntriesGoToTheStreamsOfTheirTypeInOrder) {
    using Entries = std::vector<std::pair<std::uint16_t, std::string>>;
    const std::tuple<Entries, std::string, std::string> cases[] = {
        {{}, "WMA 2", "WMV 2"},
        {{{1, "V"}}, "WMA 2", "V"},
        {{{1, "Video, \"HD\""}, {2, "A"}}, "A", "Video, \"HD\""},
    };
    for (const auto& [entries, audio, video] : cases) {
        FileSpec spec;
        if (!entries.empty())
            spec.more_header_objects = {codec_list(entries)};
        const auto rows = csv_streams(summarize(build(spec), Format::csv).text);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].at("codec"), audio);
        EXPECT_EQ(rows[1].at("codec"), video);
    }
}

TEST(Summary, StreamsInTheOrderDeclaredWithTheirLanguageAndName) {
    FileSpec spec;
    spec.streams = {{2, false}, {1, true}};
    StreamProps third;
    third.flags = 3;
    third.type_specific = waveformatex(0x162, 0);
    spec.header_extension_data =
        cat({language_list({"en-us", "fr"}),
             extended_stream(3, 1, 0, "Commentary", stream_properties(third))});
    spec.more_header_objects = {object(guid_named("ASF_Content_Encryption_Object"), Bytes(16, 0))};
    const Bytes file = build(spec);

    // The Header Extension, and stream 3 inside it, come first.
    const auto rows = csv_streams(summarize(file, Format::csv).text);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].at("number"), "2");
    EXPECT_EQ(rows[2].at("number"), "1");
    const std::map<std::string, std::string> expected = {
        {"number", "3"},    {"type", "audio"},      {"codec", "WMA 9 Pro"},
        {"language", "fr"}, {"name", "Commentary"}, {"data_bitrate", "64000"},
    };
    for (const auto& [column, value] : expected)
        EXPECT_EQ(rows[0].at(column), value) << column;
    EXPECT_TRUE(contains(summarize(file, Format::json).text,
                         "\"protected\":true,\"protection\":[\"content_encryption\"]"));

    StreamSet third_only;
    third_only.set(3);
    const auto selected = csv_streams(summarize(file, Format::csv, {}, third_only).text);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].at("number"), "3");
}

// At most kMaxKeptTags tags are kept, and of each value its first
// kKeptTextBytes bytes; text shows 70 characters of a value, on one line.
TEST(Summary, TagsStayBoundedAndShortToALine) {
    std::vector<std::pair<std::string, std::string>> tags = {
        {"Lyrics", "first line\n" + std::string(100, 'a')},
        {"Long", std::string(300, 'x')},
    };
    for (int i = 0; i < 299; ++i)
        tags.emplace_back(std::string("T").append(std::to_string(i)), "v");
    FileSpec spec;
    spec.more_header_objects = {descriptors(tags)};
    const Bytes file = build(spec);

    const std::string text = summarize(file, Format::text).text;
    EXPECT_TRUE(contains(text, "tags:      256, and 45 more not kept\n")) << text;
    EXPECT_TRUE(contains(text, "  Lyrics  first line " + std::string(59, 'a') + "\u2026\n"))
        << text;
    const std::string json = summarize(file, Format::json).text;
    EXPECT_TRUE(JsonChecker(json).valid());
    EXPECT_TRUE(contains(json, "\"Long\":\"" + std::string(256, 'x') + "\u2026\""));
    EXPECT_TRUE(contains(json, "\"tags_not_kept\":45"));
}

// A length-prefixed field of the Content Encryption Object.
Bytes counted(std::string_view text) {
    Bytes b;
    put32(b, text.size());
    put(b, Bytes(text.begin(), text.end()));
    return b;
}

// The key ID and licence URL a protected file names, from both content
// encryption objects, and the size of its XMP.
TEST(Summary, NamesTheProtectionsKeyAndLicenceAndTheXmp) {
    Bytes drm = cat({counted(""), counted("DRM"), counted("k3y=="), counted("http://lic.test/a")});
    Bytes xml = {0xff, 0xfe};  // the byte order mark
    put(xml, utf16("<WRMHEADER><DATA><KID>x2Y=</KID><LA_URL>https://la.test/</LA_URL></DATA>"
                   "</WRMHEADER>"));
    Bytes extended;
    put32(extended, xml.size());
    put(extended, xml);
    FileSpec spec;
    spec.more_header_objects = {
        object(guid_named("ASF_Content_Encryption_Object"), drm),
        object(guid_named("ASF_Extended_Content_Encryption_Object"), extended)};
    spec.between_header_and_data = object(guid_named("XMP_Object"), Bytes(6521, 'x'));
    const Bytes file = build(spec);

    const std::string json = summarize(file, Format::json).text;
    EXPECT_TRUE(JsonChecker(json).valid()) << json;
    for (const char* part :
         {"\"content_encryption\":{\"protection_type\":\"DRM\",\"key_id\":\"k3y==\","
          "\"license_url\":\"http://lic.test/a\"}",
          "\"extended_content_encryption\":{\"key_id\":\"x2Y=\",\"license_url\":"
          "\"https://la.test/\"}",
          "\"xmp\":true,\"xmp_size\":6521"}) {
        EXPECT_TRUE(contains(json, part)) << part << "\n" << json;
    }
    const std::string text = summarize(file, Format::text).text;
    EXPECT_TRUE(contains(text,
                         "  Content Encryption: protection type DRM, key ID k3y==, licence "
                         "URL http://lic.test/a\n"))
        << text;
    EXPECT_TRUE(contains(text, "xmp:       6,521 bytes\n")) << text;
    EXPECT_TRUE(contains(summarize(build({}), Format::json).text, "\"xmp\":false"));
}

// Players seek in audio by the packets' sizes and times; in video they need
// an index. A stream without a codec is named by what it carries.
TEST(Summary, SaysPlayersSeekSlowlyOnlyInVideoWithoutAnIndex) {
    StreamProps command;
    command.type = asfinspect::asf::registry_guid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
    command.flags = 3;
    FileSpec audio_only;
    audio_only.streams = {{1, true}};
    audio_only.more_header_objects = {stream_properties(command)};
    for (auto& packet : audio_only.packets) {
        std::erase_if(packet.payloads, [](const auto& p) { return p.stream == 2; });
    }
    const std::string audio = summarize(build(audio_only), Format::text).text;
    EXPECT_TRUE(contains(audio, "indexes:   none\n")) << audio;
    EXPECT_TRUE(contains(audio, "  #3   command  script commands\n")) << audio;
    const std::string video = summarize(build({}), Format::text).text;
    EXPECT_TRUE(contains(video, "indexes:   none: players will seek slowly in video\n")) << video;
    EXPECT_TRUE(contains(summarize(build({}), Format::json).text, "\"unindexed_video\":[2]"));
}

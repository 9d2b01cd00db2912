// The layouts of the description, tag, exclusion, protection and index
// objects: each object built in code inside a well-formed file, its decoded
// values and findings; every object cut short at every length; and the index
// checks, each fault put into a well-formed file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "asf/guid_registry.hpp"
#include "decode/objects/objects.hpp"
#include "decode_helpers.hpp"
#include "json_check.hpp"

namespace {

using namespace asftest;
using asfinspect::asf::registry_guid;

constexpr Guid kSimpleIndex = registry_guid("33000890-E5B1-11CF-89F4-00A0C90349CB");
constexpr Guid kIndex = registry_guid("D6E229D3-35DA-11D1-9034-00A0C90349BE");
constexpr Guid kTimecodeIndex = registry_guid("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C");
constexpr Guid kStreamProperties = registry_guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
constexpr Guid kExtendedStreamProperties = registry_guid("14E6A5CB-C672-4332-8399-A96952065B5A");
constexpr Guid kXmp = registry_guid("BE7ACFCB-97A9-42E8-9C71-999491E3AFAC");
constexpr Guid kMutexBitrate = registry_guid("D6E22A01-35DA-11D1-9034-00A0C90349BE");
constexpr Guid kSomeGuid = registry_guid("D1607DBC-E323-4BE2-86A1-48A42A28441E");

// ---------------------------------------------------------------------------
// Bytes

Bytes le(int width, std::uint64_t v) {
    Bytes b;
    for (int i = 0; i < width; ++i)
        put8(b, v >> (8 * i));
    return b;
}
Bytes g(const Guid& guid) {
    return Bytes(guid.bytes.begin(), guid.bytes.end());
}
Bytes chars(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
// UTF-16LE with its NUL.
Bytes utf16(std::u16string_view s) {
    Bytes b;
    for (const char16_t c : s)
        put16(b, c);
    put16(b, 0);
    return b;
}
// Bytes after their length in `width` bytes.
Bytes sized(int width, const Bytes& b) {
    return cat({le(width, b.size()), b});
}
// UTF-16 text after its length in WCHARs.
Bytes wchars(std::u16string_view s) {
    return cat({le(2, s.size() + 1), utf16(s)});
}

Bytes picture(std::u16string_view mime, std::u16string_view description) {
    return cat({le(1, 3), le(4, 4), utf16(mime), utf16(description), {0x89, 'P', 'N', 'G'}});
}
Bytes descriptor(std::u16string_view name, std::uint16_t type, const Bytes& value) {
    return cat({sized(2, utf16(name)), le(2, type), sized(2, value)});
}
Bytes record(std::uint16_t first, std::uint16_t stream, std::u16string_view name,
             std::uint16_t type, const Bytes& value) {
    return cat({le(2, first), le(2, stream), le(2, utf16(name).size()), le(2, type),
                le(4, value.size()), utf16(name), value});
}
Bytes marker_entry(std::u16string_view text, bool length_in_bytes) {
    const Bytes description = utf16(text);
    return cat({le(8, 0), le(8, 20'000'000), le(2, 12 + description.size()), le(4, 2000), le(4, 0),
                le(4, description.size() / (length_in_bytes ? 1 : 2)), description});
}

// ---------------------------------------------------------------------------
// A well-formed file: one video stream, six packets of a second each, key
// frames starting in packets 0 and 3.

constexpr std::uint32_t kPacketSize = 64;
constexpr std::uint8_t kPackets = 6;
constexpr std::int64_t kSecond = 10'000'000;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
const Guid kFileId = [] {
    Guid id;
    id.bytes.fill(0xf1);  // as file_properties_payload writes it
    return id;
}();

Bytes packets() {
    Bytes all;
    for (std::uint8_t i = 0; i < kPackets; ++i) {
        const Bytes payload = single_payload(1, i, 10, i * 1000u, 10, i % 3 == 0);
        PacketHead h{.length_type_flags = 0x09, .send_time = i * 1000u};
        h.padding_byte =
            static_cast<std::uint8_t>(kPacketSize - packet_head(h).size() - payload.size());
        put(all, padded(cat({packet_head(h), payload}), kPacketSize));
    }
    return all;
}

enum class Place { header, extension, after_data };

// An Index Parameters Object for stream 1's cleanpoints, which an Index
// Object needs in the header.
Bytes index_parameters() {
    return object(registry_guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"),
                  cat({le(4, 1000), le(2, 1), le(2, 1), le(2, 3)}));
}

Bytes file_with(const Bytes& part, Place where) {
    const Bytes extension =
        object(registry_guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365"),
               cat({g(asfinspect::asf::guids::kReserved1), le(2, 6),
                    sized(4, where == Place::extension ? part : index_parameters())}));
    const Bytes stream = stream_properties(
        {.type = asfinspect::asf::guids::kVideoMedia, .type_specific = video_format("WMV2")});
    const Bytes data = object(registry_guid("75B22636-668E-11CF-A6D9-00AA0062CE6C"),
                              cat({g(kFileId), le(8, kPackets), le(2, 0x0101), packets()}));
    const auto build = [&](std::size_t size) {
        const Bytes properties = file_properties({.file_size = static_cast<std::int64_t>(size),
                                                  .packets = kPackets,
                                                  .play_duration = kPackets * kSecond,
                                                  .send_duration = kPackets * kSecond,
                                                  .min_packet = kPacketSize,
                                                  .max_packet = kPacketSize});
        return cat({where == Place::header ? header_object({properties, stream, extension, part})
                                           : header_object({properties, stream, extension}),
                    data, where == Place::after_data ? part : Bytes{}});
    };
    return build(build(0).size());
}

// Brackets and braces that pair up outside strings, with no empty member
// or element beside a comma.
bool well_formed_json(std::string_view json) {
    std::string open;
    bool in_string = false;
    char last = 0;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string) {
            i += c == '\\' ? 1 : 0;
            in_string = c != '"';
            continue;
        }
        if ((c == ',' && (last == '{' || last == '[' || last == ',')) ||
            ((c == '}' || c == ']') && last == ','))
            return false;
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            open.push_back(c == '{' ? '}' : ']');
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != c)
                return false;
            open.pop_back();
        }
        last = c == ' ' || c == '\n' ? last : c;
    }
    return open.empty() && !in_string;
}

struct Case {
    std::string_view what;
    Place where;
    Guid guid;
    Bytes payload;
    std::string codes;                    // of the findings
    std::vector<std::string_view> lines;  // in the tree, in this order
    Bytes before{};                       // objects the object needs before it, in the same place
};

void expect_case(const Case& c) {
    SCOPED_TRACE(c.what);
    const Bytes file = file_with(cat({c.before, object(c.guid, c.payload)}), c.where);
    const std::string tree = tree_of(file);
    std::size_t at = 0;
    for (const std::string_view line : c.lines) {
        const auto found = tree.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\n" << tree;
        at = found == std::string::npos ? at : found;
    }
    EXPECT_EQ(severity_codes_of(file), c.codes);
}

// ---------------------------------------------------------------------------
// The objects, one family a table.

// clang-format off
const std::vector<Case>& description_cases() {
    static const std::vector<Case> cases{
        {"Codec List: WCHAR-counted texts, a FourCC and a format tag", Place::header,
         registry_guid("86D15240-311D-11D0-A3A4-00A0C90348F6"),
         cat({g(asfinspect::asf::guids::kReserved2), le(4, 2),
              le(2, 1), wchars(u"wmv2"), wchars(u""), sized(2, chars("WMV2")),
              le(2, 2), wchars(u"WMA"), wchars(u"64 kbps"), sized(2, le(2, 0x161))}), "",
         {"Codec Name: \"wmv2\"", "Codec Information: \"WMV2\"", "Codec Description: \"64 kbps\"",
          "Codec Information: 353 (Windows Media Audio 2)"}},
        {"Script Command: a type index past the types", Place::header,
         registry_guid("1EFB1A30-0B62-11D0-A39B-00A0C90348F6"),
         cat({g(asfinspect::asf::guids::kReserved3), le(2, 2), le(2, 1), wchars(u"URL"),
              le(4, 1500), le(2, 0), wchars(u"http://a"), le(4, 2000), le(2, 3), wchars(u"x")}),
         "error:record-index",
         {"Command Type Name: \"URL\"", "Presentation Time: 1.5 s", "Command Name: \"http://a\"",
          "Type Index: 3"}},
        {"Marker: description lengths in WCHARs and, going by Entry Length, in bytes", Place::header,
         registry_guid("F487CD01-A951-11CF-8EE6-00C00C205365"),
         cat({g(asfinspect::asf::guids::kReserved4), le(4, 2), le(2, 0), le(2, 0),
              marker_entry(u"Intro", false), marker_entry(u"End", true)}), "warning:entry-length",
         {"Presentation Time: 2 s", "Marker Description: \"Intro\"", "Marker Description Length: 8",
          "Marker Description: \"End\""}},
        {"Content Description: a surrogate pair and an unpaired surrogate", Place::header,
         registry_guid("75B22633-668E-11CF-A6D9-00AA0062CE6C"),
         cat({le(2, 12), le(2, 4), le(2, 0), le(2, 0), le(2, 0),
              utf16(std::u16string{u'A', 0xD83D, 0xDE00, 0xD800, u'B'}), utf16(u"x")}), "",
         {"Title: \"A\xF0\x9F\x98\x80\xEF\xBF\xBD" "B\"", "Author: \"x\""}},
        {"Extended Content Description: a descriptor of each data type", Place::header,
         registry_guid("D2D0A440-E307-11D2-97F0-00A0C95EA850"),
         cat({le(2, 11), descriptor(u"WM/AlbumTitle", 0, utf16(u"Album")),
              descriptor(u"Blob", 1, {1, 2, 3}), descriptor(u"IsVBR", 2, le(4, 1)),
              descriptor(u"WM/TrackNumber", 3, le(4, 7)), descriptor(u"Big", 4, le(8, 1ull << 40)),
              descriptor(u"WM/EncodingTime", 4, le(8, 127933975820000000)),
              descriptor(u"Word", 5, le(2, 513)), descriptor(u"Id", 6, g(kSomeGuid)),
              descriptor(u"WM/Picture", 1, picture(u"image/png", u"cover")),
              descriptor(u"Odd", 9, {1, 2}), descriptor(u"Short", 3, {1, 2, 3})}),
         "warning:value-type warning:value-type warning:value-length",
         {"Descriptor Value: \"Album\"", "Descriptor Value: 01 02 03", "Descriptor Value: yes",
          "Descriptor Value: 7", "Descriptor Value: 1099511627776",
          "Descriptor Value: 2006-05-29 17:33:02 UTC", "Descriptor Value: 513",
          "Descriptor Value: D1607DBC-E323-4BE2-86A1-48A42A28441E",
          "Picture Type: 3 (Cover (front))", "Picture Data Length: 4", "MIME Type: \"image/png\"",
          "Description: \"cover\"", "Picture Data: 89 50 4e 47", "Descriptor Value: 01 02",
          "Descriptor Value: 01 02 03"}},
        {"Metadata: a 2-byte BOOL and a stream number past 127", Place::extension,
         registry_guid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA"),
         cat({le(2, 2), record(0, 1, u"IsVBR", 2, le(2, 0)), record(0, 200, u"X", 3, le(4, 1))}),
         "error:stream-number", {"Stream Number: 1", "Data: no", "Stream Number: 200", "Data: 1"}},
        {"Metadata Library after a Language List of one: a GUID, a picture, a language index past "
         "the list", Place::extension,
         registry_guid("44231C94-9498-49D1-A141-1D134E457054"),
         cat({le(2, 2), record(0, 0, u"WM/MediaClassPrimaryID", 6, g(kSomeGuid)),
              record(1, 1, u"WM/Picture", 1, picture(u"image/jpeg", u""))}), "error:language-index",
         {"Language ID: \"en-us\"", "Data: D1607DBC-E323-4BE2-86A1-48A42A28441E",
          "Language List Index: 1", "MIME Type: \"image/jpeg\"", "Description: \"\""},
         object(registry_guid("7C4346A9-EFE0-4BFC-B229-393EDE415C85"),
                cat({le(2, 1), le(1, 12), utf16(u"en-us")}))},
        {"Content Branding", Place::header, registry_guid("2211B3FA-BD23-11D2-B4B7-00A0C955FC6E"),
         cat({le(4, 2), sized(4, {0xff, 0xd8}), sized(4, chars("http://b")),
              sized(4, chars("http://c"))}), "",
         {"Banner Image Type: 2 (JPEG)", "Banner Image Data: ff d8",
          "Banner Image URL: \"http://b\"", "Copyright URL: \"http://c\""}},
        {"Compatibility", Place::extension, registry_guid("26F18B5D-4584-47EC-9F5F-0E651F0452C9"),
         {2, 1}, "", {"Profile: 2", "Mode: 1"}},
    };
    return cases;
}

const std::vector<Case>& exclusion_cases() {
    static const std::vector<Case> cases{
        {"Bitrate Mutual Exclusion naming an undeclared stream", Place::header,
         registry_guid("D6E229DC-35DA-11D1-9034-00A0C90349BE"),
         cat({g(kMutexBitrate), le(2, 2), le(2, 1), le(2, 3)}), "error:undeclared-stream",
         {"Exclusion Type: D6E22A01-35DA-11D1-9034-00A0C90349BE (ASF_Mutex_Bitrate)",
          "Stream Number: 1", "Stream Number: 3"}},
        {"Group Mutual Exclusion", Place::extension,
         registry_guid("D1465A40-5A79-4338-B71B-E36B8FD6C249"),
         cat({g(kMutexBitrate), le(2, 1), le(2, 1), le(2, 1)}), "",
         {"Record Count: 1", "Stream Count: 1", "Stream Number: 1"}},
        {"Stream Prioritization", Place::extension,
         registry_guid("D4FED15B-88D3-454F-81F0-ED5C45999E24"), cat({le(2, 1), le(2, 1), le(2, 1)}),
         "", {"Stream Number: 1", "Priority Flags: 0x1 (Mandatory)"}},
        {"Bandwidth Sharing naming stream 0", Place::extension,
         registry_guid("A69609E6-517B-11D2-B6AF-00C04FD908E9"),
         cat({g(registry_guid("AF6060AA-5197-11D2-B6AF-00C04FD908E9")), le(4, 64000), le(4, 3000),
              le(2, 1), le(2, 0)}), "error:stream-number",
         {"Data Bitrate: 64000", "Buffer Size: 3000", "Stream Number: 0"}},
        {"Error Correction", Place::header, registry_guid("75B22635-668E-11CF-A6D9-00AA0062CE6C"),
         cat({g(asfinspect::asf::guids::kAudioSpread), sized(4, {1, 2})}), "",
         {"Error Correction Data Length: 2", "Error Correction Data: 01 02"}},
        {"Content Encryption", Place::header, registry_guid("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E"),
         cat({sized(4, {7}), sized(4, chars({"DRM\0", 4})), sized(4, chars("k")),
              sized(4, chars("http://l"))}), "",
         {"Secret Data: 07", "Protection Type: \"DRM\"", "Key ID: \"k\"",
          "License URL: \"http://l\""}},
        {"Extended Content Encryption: UTF-16 XML", Place::header,
         registry_guid("298AE614-2622-4C17-B935-DAE07EE9289C"),
         sized(4, cat({{0xff, 0xfe}, utf16(u"<x/>")})), "", {"Data: \"<x/>\""}},
        {"Advanced Content Encryption of stream 1", Place::extension,
         registry_guid("43058533-6981-49E6-9B74-AD12CB86D58C"),
         cat({le(2, 1), g(kSomeGuid), le(4, 1), le(2, 1), le(2, 1), le(2, 2), le(2, 1),
              sized(4, {5, 6})}), "",
         {"System Version: 1", "Encrypted Object ID Type: 1 (Stream Number)",
          "Encrypted Object ID: 1", "Data: 05 06"}},
        {"Digital Signature", Place::header, registry_guid("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E"),
         cat({le(4, 2), sized(4, {9, 9})}), "", {"Signature Type: 2", "Signature Data: 09 09"}},
    };
    return cases;
}
// clang-format on

Bytes simple_index(const std::vector<std::uint32_t>& entries, const Guid& file_id = kFileId) {
    Bytes b = cat({g(file_id), le(8, kSecond), le(4, 1), le(4, entries.size())});
    for (const std::uint32_t packet : entries)
        put(b, cat({le(4, packet), le(2, 1)}));
    return b;
}

// An index of one specifier and one block; a timecode index puts a timecode
// before each entry's offset.
Bytes offset_index(std::uint32_t first, std::uint16_t stream, std::uint16_t index_type,
                   const std::vector<std::uint32_t>& offsets, bool timecode = false) {
    Bytes b = cat({le(4, first), le(2, 1), le(4, 1), le(2, stream), le(2, index_type),
                   le(4, offsets.size()), timecode ? le(2, 0) : Bytes{}, le(8, 0)});
    for (const std::uint32_t offset : offsets)
        put(b, cat({timecode ? le(4, 0x01020304) : Bytes{}, le(4, offset)}));
    return b;
}

// An audio stream 2 of `format_tag` whose WAVEFORMATEX ends in `codec_data`.
Bytes audio_stream(std::uint16_t format_tag, const Bytes& codec_data) {
    const Bytes format = waveformatex(format_tag, 0);
    // Its fields before the Codec Specific Data Size.
    const Bytes fields(format.begin(), format.begin() + 16);
    return stream_properties_payload(
        {.flags = 2, .type_specific = cat({fields, sized(2, codec_data)})});
}

// Extended Stream Properties of stream 1: Start Time, End Time and Maximum
// Object Size 0, then the Average Time Per Frame.
Bytes extended_stream(std::uint64_t time_per_frame) {
    return cat({le(8, 0), le(8, 0), le(4, 64000), Bytes(20, 0), le(4, 0), le(4, 0), le(2, 1),
                le(2, 0), le(8, time_per_frame), le(2, 0), le(2, 0)});
}

// clang-format off
const std::vector<Case>& stream_cases() {
    static const std::vector<Case> cases{
        {"Extended Stream Properties: values that stand for none", Place::extension,
         kExtendedStreamProperties, extended_stream(0x1999999999999999), "",
         {"Creation Date: 0 (unknown)", "Start Time: 0 (not set)", "End Time: 0 (not set)",
          "Maximum Object Size: 0 (unknown)",
          "Average Time Per Frame: 0x1999999999999999 (not set)"}},
        {"Extended Stream Properties: an Average Time Per Frame of 0", Place::extension,
         kExtendedStreamProperties, extended_stream(0), "", {"Average Time Per Frame: 0 (unknown)"}},
        {"Extended Stream Properties: an audio stream's Average Time Per Frame past a day",
         Place::extension, kExtendedStreamProperties, extended_stream(0xffffffffff0f1050), "",
         {"Average Time Per Frame: 0xffffffffff0f1050 (meaningless: over a day)"}},
        {"Extended Stream Properties: an Average Time Per Frame of a day", Place::extension,
         kExtendedStreamProperties, extended_stream(864'000'000'000), "",
         {"Average Time Per Frame: 86400 s"}},
        {"WMA 1 codec data", Place::header, kStreamProperties,
         audio_stream(0x160, cat({le(2, 512), le(2, 5)})), "",
         {"Codec Specific Data: 00 02 05 00", "Codec Specific Data Fields:", "Samples Per Block: 512",
          "Encode Options: 0x5 (Exponent VLC: yes, Bit Reservoir: no, Variable Block Length: yes)"}},
        {"WMA 2 codec data", Place::header, kStreamProperties,
         audio_stream(0x161, cat({le(4, 2048), le(2, 0xf), le(4, 8)})), "",
         {"Samples Per Block: 2048",
          "Encode Options: 0xf (Exponent VLC: yes, Bit Reservoir: yes, Variable Block Length: yes)",
          "Super Block Align: 8"}},
        {"WMA 9 Pro codec data", Place::header, kStreamProperties,
         audio_stream(0x162, cat({le(2, 24), le(4, 0x3f), Bytes(8, 0), le(2, 0xe0), le(2, 0)})), "",
         {"Valid Bits Per Sample: 24",
          "Channel Mask: 0x3f (Front Left, Front Right, Front Center, Low Frequency, Back Left, "
          "Back Right)",
          "Reserved: 00 00 00 00 00 00 00 00", "Decode Flags: 224", "Reserved 2: 00 00"}},
        {"WMA Lossless codec data", Place::header, kStreamProperties,
         audio_stream(0x163, cat({le(2, 16), le(4, 0x3), Bytes(12, 0)})), "",
         {"Valid Bits Per Sample: 16", "Channel Mask: 0x3 (Front Left, Front Right)"}},
        {"WMA 2 codec data of 6 bytes, as bytes", Place::header, kStreamProperties,
         audio_stream(0x161, Bytes(6, 1)), "", {"Codec Specific Data: 01 01 01 01 01 01"}},
        {"MP3 codec data, as bytes", Place::header, kStreamProperties,
         audio_stream(0x55, Bytes(4, 1)), "", {"Codec Specific Data: 01 01 01 01"}},
        {"XMP as text", Place::after_data, kXmp, chars("<?xpacket begin?>\n<x:xmpmeta/>\n"), "",
         {"Data: 31 bytes of text", "\"<?xpacket begin?>\"", "\"<x:xmpmeta/>\""}},
        {"XMP that isn't UTF-8, as bytes", Place::after_data, kXmp, {'<', 0xc3, 0x28, '>'}, "",
         {"Data: 3c c3 28 3e"}},
    };
    return cases;
}

const std::vector<Case>& index_cases() {
    static const std::vector<Case> cases{
        {"Index Parameters", Place::extension, registry_guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"),
         cat({le(4, 1000), le(2, 1), le(2, 1), le(2, 3)}), "",
         {"Index Entry Time Interval: 1 s", "Index Type: 3 (Nearest Past Cleanpoint)"}},
        {"Media Object Index Parameters naming an undeclared stream", Place::extension,
         registry_guid("6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7"),
         cat({le(4, 10), le(2, 1), le(2, 4), le(2, 2)}), "error:undeclared-stream",
         {"Index Entry Count Interval: 10", "Stream Number: 4"}},
        {"Simple Index at the key frames", Place::after_data, kSimpleIndex,
         simple_index({0, 0, 0, 3, 3, 3}), "",
         {"Index Entry Time Interval: 1 s", "Index Entries Count: 6", "Packet Number: 3"}},
        {"Index at the key frames", Place::after_data, kIndex,
         offset_index(1000, 1, 3, {0, 0, 0, 3 * kPacketSize, kNoEntry, 192}), "",
         {"Index Blocks Count: 1", "Block Position: 0", "Offset: 0xffffffff (no entry)",
          "Offset: 192"}},
        {"Media Object Index", Place::after_data,
         registry_guid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C"),
         offset_index(1, 1, 2, {0, kPacketSize}), "", {"Index Entry Count Interval: 1", "Offset: 64"}},
        {"Timecode Index", Place::after_data, kTimecodeIndex,
         offset_index(0, 1, 3, {3 * kPacketSize}, true), "",
         {"Timecode Range: 0", "Timecode: 01:02:03:04", "Offset: 192"}},
    };
    return cases;
}
// clang-format on

}  // namespace

TEST(Layouts, DescriptionsTagsAndLists) {
    for (const Case& c : description_cases())
        expect_case(c);
}

TEST(Layouts, ExclusionPriorityBandwidthAndProtection) {
    for (const Case& c : exclusion_cases())
        expect_case(c);
}

// Codec data decoded where its format and size have a layout, bytes
// otherwise; XMP as text when it is UTF-8; values that stand for none named.
TEST(Layouts, StreamsCodecDataXmpAndValuesThatStandForNone) {
    for (const Case& c : stream_cases()) {
        expect_case(c);
        if (c.what.ends_with("as bytes")) {
            const std::string tree = tree_of(file_with(object(c.guid, c.payload), c.where));
            EXPECT_EQ(tree.find("Fields:"), std::string::npos) << c.what;
            EXPECT_EQ(tree.find("of text"), std::string::npos) << c.what;
        }
    }
    const std::string json = json_of(file_with(
        object(kStreamProperties, audio_stream(0x161, cat({le(4, 2048), le(2, 3), le(4, 8)}))),
        Place::header));
    EXPECT_NE(json.find("\"codec_specific_data_fields\":{\"samples_per_block\":2048,"
                        "\"encode_options\":3,\"encode_options_parts\":{\"exponent_vlc\":true,"
                        "\"bit_reservoir\":true,\"variable_block_length\":false},"
                        "\"super_block_align\":8}"),
              std::string::npos)
        << json;
    const std::string xmp =
        json_of(file_with(object(kXmp, chars("<x/>\n<y/>")), Place::after_data));
    EXPECT_NE(xmp.find("\"data\":{\"length\":9,\"hex\":\"3c782f3e0a3c792f3e\"},"
                       "\"data_text\":\"<x/>\\n<y/>\""),
              std::string::npos)
        << xmp;
}

TEST(Layouts, IndexParametersAndIndexes) {
    for (const Case& c : index_cases())
        expect_case(c);
}

// A type without a row would be listed and never decoded, without a word.
TEST(Layouts, EachObjectTypeOfTheRegistryHasOneRowInTheTable) {
    using asfinspect::asf::ObjectType;
    const auto families = asfinspect::decode::objects::layout_families();
    std::size_t rows = 0;
    for (const auto family : families)
        rows += family.size();
    std::size_t types = 0;
    for (const asfinspect::asf::GuidInfo& info : asfinspect::asf::kRegistry) {
        if (info.object == ObjectType::unknown)
            continue;
        ++types;
        std::size_t found = 0;
        for (const auto family : families) {
            found += static_cast<std::size_t>(
                std::count_if(family.begin(), family.end(),
                              [&](const auto& row) { return row.type == info.object; }));
        }
        EXPECT_EQ(found, 1U) << info.name;
    }
    EXPECT_EQ(rows, types) << "rows in the table, object types in the registry";
}

TEST(Layouts, EveryObjectCutShortAtEveryLengthEndsWithATruncatedField) {
    for (const auto* cases : {&description_cases(), &exclusion_cases(), &index_cases()}) {
        for (const Case& c : *cases) {
            SCOPED_TRACE(c.what);
            const Bytes cut_object = object(c.guid, c.payload);
            const Bytes whole = file_with(cat({c.before, cut_object}), c.where);
            const auto start = static_cast<std::size_t>(
                std::search(whole.begin(), whole.end(), cut_object.begin(), cut_object.end()) -
                whole.begin());
            // From the first byte after the object's header to its last.
            for (std::size_t cut = start + 24; cut < start + cut_object.size(); ++cut) {
                const Bytes file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
                const std::string tree = tree_of(file);
                ASSERT_NE(tree.find(": truncated: "), std::string::npos) << cut << "\n" << tree;
                ASSERT_TRUE(well_formed_json(json_of(file))) << cut;
            }
        }
    }
}

TEST(Layouts, IndexChecksFindEachFaultPutIntoAWellFormedFile) {
    const Bytes well_formed = object(kSimpleIndex, simple_index({0, 0, 0, 3, 3, 3}));
    const struct {
        std::string_view what;
        Bytes after_data;
        std::string codes;
    } cases[] = {
        {"an entry past the last packet", object(kSimpleIndex, simple_index({0, 0, 0, 3, 3, 9})),
         "error:index-past-end"},
        {"entries where no key frame starts",
         object(kSimpleIndex, simple_index({0, 1, 1, 3, 4, 3})), "error:index-key-frame"},
        {"too few entries for the Play Duration", object(kSimpleIndex, simple_index({0, 0, 0, 3})),
         "warning:index-coverage"},
        {"a File ID neither zero nor the file's",
         object(kSimpleIndex, simple_index({0, 0, 0, 3, 3, 3}, kSomeGuid)), "warning:file-id"},
        {"a File ID of zero", object(kSimpleIndex, simple_index({0, 0, 0, 3, 3, 3}, Guid{})), ""},
        {"a second Simple Index for a single video stream", cat({well_formed, well_formed}),
         "warning:index-stream"},
        {"an Index of an undeclared stream",
         object(kIndex, offset_index(1000, 5, 3, {0, 0, 0, 0, 0, 0})), "error:undeclared-stream"},
        {"an Index offset between packets",
         object(kIndex, offset_index(1000, 1, 3, {0, 10, 0, 0, 0, 0})), "error:index-offset"},
        {"an Index of cleanpoints at a packet without one",
         object(kIndex, offset_index(1000, 1, 3, {0, 0, 0, 0, 4 * kPacketSize, 0})),
         "error:index-key-frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(severity_codes_of(file_with(c.after_data, Place::after_data)), c.codes);
    }
    // The empty Simple Index Object that encoders write into a file without
    // video: one warning, and no word of what its interval of 0 covers.
    FileSpec audio_only;
    audio_only.streams = {{1, true}};
    audio_only.packets = {{0, {{1, true, 0, 0, 20, 1000, 20}}}};
    audio_only.trailing = object(kSimpleIndex, cat({g(kFileId), le(8, 0), le(4, 0), le(4, 0)}));
    EXPECT_EQ(severity_codes_of(build(audio_only)), "warning:index-stream");
}

// Media Object Index and Timecode Index entries point at the media objects
// they stand for; an Index Object has Index Parameters in the header. Stream
// 2 starts media objects in packets 0 and 2; packet 1 holds the rest of its
// first, and nothing of stream 1.
TEST(Layouts, IndexesOfMediaObjectsPointAtThemAndAnIndexHasItsParameters) {
    const Guid media_object_index = registry_guid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C");
    const struct {
        std::string_view what;
        Bytes index;
        Bytes header_extension_data;
        std::string codes;
    } cases[] = {
        {"by media object, at their starts",
         object(media_object_index, offset_index(1, 2, 2, {0, 512})),
         {},
         ""},
        {"by media object, inside one",
         object(media_object_index, offset_index(1, 2, 2, {0, 256, 512})),
         {},
         "error:index-media-object"},
        {"by data packet, at packets of the stream",
         object(media_object_index, offset_index(1, 2, 1, {0, 256, 512})),
         {},
         ""},
        {"by data packet, at one without the stream",
         object(media_object_index, offset_index(1, 1, 1, {0, 256})),
         {},
         "error:index-media-object"},
        {"by timecode, inside a media object",
         object(kTimecodeIndex, offset_index(0, 2, 2, {0, 256}, true)),
         {},
         "error:index-media-object"},
        {"an Index without Index Parameters",
         object(kIndex, offset_index(1000, 2, 3, {0, 512})),
         {},
         "warning:index-parameters"},
        {"an Index with them", object(kIndex, offset_index(1000, 2, 3, {0, 512})),
         index_parameters(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileSpec spec;
        spec.trailing = c.index;
        spec.header_extension_data = c.header_extension_data;
        EXPECT_EQ(severity_codes_of(build(spec)), c.codes) << check_of(build(spec));
    }
}

// Key frames are looked for only in streams that mark them, whether every
// packet was decoded or only packet 0, whose probes then tell: stream 1 (audio)
// sets the key-frame bit on no payload; stream 2 (video) starts key frames in
// packets 0 and 2, and packet 1 carries the rest of its first media object.
TEST(Layouts, IndexEntriesAreCheckedForKeyFramesOfStreamsThatMarkThem) {
    FileSpec spec;
    for (auto& packet : spec.packets) {
        for (auto& payload : packet.payloads)
            payload.key = payload.stream == 2;
    }
    const auto offsets = [](std::uint16_t stream) {
        return offset_index(1000, stream, 3, {0, 256, 512});
    };
    const Bytes both_streams = cat({le(4, 1000), le(2, 2), le(4, 1), le(2, 1), le(2, 3), le(2, 2),
                                    le(2, 3), le(4, 3), le(8, 0), le(8, 0), le(4, 0), le(4, 0),
                                    le(4, 256), le(4, 256), le(4, 512), le(4, 512)});
    // Entries at packet 1 that span no packet.
    const Bytes nothing_to_index = cat(
        {g(kFileId), le(8, kSecond), le(4, 0), le(4, 2), le(4, 1), le(2, 0), le(4, 1), le(2, 0)});
    const struct {
        std::string_view what;
        Bytes index;
        std::string_view error;  // empty: none
        bool stream_1_unchecked;
    } cases[] = {
        {"stream 1", object(kIndex, offsets(1)), "", true},
        {"stream 2", object(kIndex, offsets(2)),
         "1 of 3 index entries point at a packet where no key frame of their stream starts; the "
         "first is entry 1, at packet 1, for stream 2",
         false},
        {"both streams", object(kIndex, both_streams), "1 of 6 index entries", true},
        {"a Simple Index of entries of Packet Count 0", object(kSimpleIndex, nothing_to_index), "",
         false},
    };
    for (const auto& c : cases) {
        for (const bool every_packet : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (every_packet ? "" : ", packet 0 decoded"));
            FileSpec with_index = spec;
            with_index.trailing = c.index;
            asfinspect::decode::DecodeOptions options;
            if (!every_packet)
                options.packets = {0, 0, false};
            const std::string json = json_of(build(with_index), options);
            const std::string_view finding = "where no key frame of their stream starts";
            EXPECT_EQ(count_of(json, finding), c.error.empty() ? 0u : 1u) << json;
            EXPECT_NE(json.find(c.error), std::string::npos) << json;
            const std::string unchecked =
                every_packet ? "\"key_frame_check\":\"not made: stream 1 sets the key-frame bit "
                               "on no payload\""
                             : "\"key_frame_check\":\"not made: stream 1 starts no key frame in "
                               "the packets its entries point at, and not every packet was "
                               "decoded\"";
            EXPECT_EQ(json.find(unchecked) != std::string::npos, c.stream_1_unchecked) << json;
            EXPECT_EQ(json.find("key_frame_check") != std::string::npos, c.stream_1_unchecked);
        }
    }
}

// Tag values as mutagen-inspect shows them for the samples, and no error in
// any intact sample.
TEST(Layouts, SampleTagsAgreeWithMutagen) {
    const std::filesystem::path dir = ASFINSPECT_SAMPLES_DIR;
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << dir << " is absent";
    const struct {
        const char* file;
        std::string_view name;  // of a descriptor or record, or a Content Description key
        std::string_view value;
    } tags[] = {
        {"thirty-dirty-birds.wma", "\"title", "\"Thirty Dirty Birds\""},
        {"thirty-dirty-birds.wma", "WM/TrackNumber", "13"},
        {"thirty-dirty-birds.wma", "IsVBR", "false"},
        {"thirty-dirty-birds.wma", "WM/MediaClassPrimaryID",
         "{\"guid\":\"D1607DBC-E323-4BE2-86A1-48A42A28441E\""},
        {"musicbrainz-tagged.wma", "\"title", "\"Sinner's Prayer\""},
        {"musicbrainz-tagged.wma", "MusicBrainz/Track Id",
         "\"f151cb94-c909-46a8-ad99-fb77391abfb8\""},
        {"musicbrainz-tagged.wma", "WM/Picture",
         "{\"picture_type\":3,\"picture_data_length\":98008,\"mime_type\":\"image/jpeg\""},
        {"issue-57.wma", "replaygain_track_gain", "\"-12.31 dB\""},
        {"issue-57.wma", "WM/Picture", "{\"picture_type\":3,\"picture_data_length\":40774"},
        {"elephant.asf", "\"rating", "\"\""},
    };
    for (const auto& t : tags) {
        SCOPED_TRACE(std::string(t.file) + " " + std::string(t.name));
        std::ifstream in(dir / t.file, std::ios::binary);
        const std::string json = json_of(Bytes(std::istreambuf_iterator<char>(in), {}));
        // The value follows the name, as "descriptor_value" or "data", or
        // at once for a Content Description field.
        const auto name = json.find(std::string(t.name) + "\"");
        ASSERT_NE(name, std::string::npos);
        auto value = t.name.starts_with('"') ? json.find(':', name)
                                             : std::min(json.find("\"descriptor_value\":", name),
                                                        json.find("\"data\":", name));
        value = json.find(':', value) + 1;
        EXPECT_EQ(json.substr(value, t.value.size()), t.value);
    }
    for (const char* intact :
         {"elephant.asf", "thirty-dirty-birds.wma", "musicbrainz-tagged.wma", "issue-57.wma"}) {
        std::ifstream in(dir / intact, std::ios::binary);
        EXPECT_EQ(severity_codes_of(Bytes(std::istreambuf_iterator<char>(in), {})).find("error:"),
                  std::string::npos)
            << intact;
    }
    // The damaged samples: the errors that name what is wrong with each.
    for (const auto& [damaged, code] : {std::pair{"cwe-835-loop.wma", "error:object-size"},
                                        std::pair{"max-object-headers.wma", "error:header-count"},
                                        std::pair{"plain.wma", "error:truncated-file"}}) {
        std::ifstream in(dir / damaged, std::ios::binary);
        EXPECT_NE(severity_codes_of(Bytes(std::istreambuf_iterator<char>(in), {})).find(code),
                  std::string::npos)
            << damaged;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        EXPECT_TRUE(valid_json(json_of(Bytes(std::istreambuf_iterator<char>(in), {}))))
            << entry.path();
    }
}

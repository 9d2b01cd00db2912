// The tree and JSON views: how each kind of value is written, and JSON that
// stays valid whatever the text and whatever the order of events.

#include <gtest/gtest.h>

#include <string>

#include "asf/guid_registry.hpp"
#include "asf/packet_format.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"
#include "json_check.hpp"
#include "view/json_view.hpp"
#include "view/tree_view.hpp"

using asfinspect::decode::FlagName;
using asfinspect::decode::Unit;
using asfinspect::io::Output;

namespace {

constexpr FlagName kFlags[] = {{0x1, "Broadcast"}, {0x2, "Seekable"}};
const std::uint8_t kBlob[70] = {0xab, 0x01};
// Ten lines, the second longer than a line of the tree.
const std::string kXml = "<?xpacket?>\r\n" + std::string(170, 'x') + "\n3\n4\n5\n6\n7\n8\n9\n10";

// Writes one value of each kind through `view`, inside an object and a record.
template <typename ViewAndSink>
void write_values(ViewAndSink& view) {
    view.begin_file("a \"quoted\"\n\xff path", 10);
    asfinspect::decode::ObjectHead head;
    head.offset = 0x1e;
    head.size = 104;
    view.begin_object(head);
    view.unsigned_value("Preroll", 3100, Unit::milliseconds);
    view.unsigned_value("Play Duration", 61'460'001, Unit::hundred_nanoseconds);
    view.unsigned_value("Data Offset", 738, Unit::file_offset);
    view.signed_value("Image Height", -120, Unit::none);
    view.flags_value("Flags", 0x6, kFlags);
    view.guid_value("Stream Type", asfinspect::asf::guids::kAudioMedia);
    view.text_value("Title", "tab\there \xf0\x9f\x98\x80");
    view.bytes_value("Data", kBlob, 1000);
    view.date_value("Creation Date", 0, "unknown");
    view.date_value("Expiry Date", 0);
    view.flag_parts_value("Length Type Flags", 0x19,
                          asfinspect::asf::packet_format::kLengthTypeFlagParts);
    view.unset_value("Average Time Per Frame", 0x1999999999999999, Unit::hundred_nanoseconds,
                     "not set");
    view.timecode_value("Timecode", 0x01020304);
    view.timecode_value("Bad Timecode", 0x0102030a);
    const auto* xml = reinterpret_cast<const std::uint8_t*>(kXml.data());
    view.text_blob_value("XMP", {{xml, 4}, kXml.size(), kXml});
    view.date_value("Encoding Time", 127'933'975'825'000'000);
    view.fourcc_value("Compression ID", 0x32564d57);
    view.fourcc_value("Other ID", 0);
    view.begin_list("Entries", "Entry");
    view.begin_item(0, -1);
    view.finding({0x40, asfinspect::decode::Severity::error, "x", "a record with only a finding"});
    view.end_item();
    view.end_list();
    view.end_object();
    view.end_file({});
}

}  // namespace

TEST(Views, TreeWritesEachKindOfValueForPeople) {
    auto out = Output::memory();
    asfinspect::view::TreeView tree(out);
    write_values(tree);
    const std::string text = out.text_so_far();
    for (const char* line : {
             "File \"a \\\"quoted\\\"\\n\xff path\", 10 bytes\n",
             "0x1e unknown object 00000000-0000-0000-0000-000000000000, size 104\n",
             "  Preroll: 3.1 s\n",
             "  Play Duration: 6.1460001 s\n",
             "  Data Offset: 0x2e2\n",
             "  Image Height: -120\n",
             "  Flags: 0x6 (Seekable)\n",
             "  Stream Type: F8699E40-5B4D-11CF-A8FD-00805F5C442B (ASF_Audio_Media)\n",
             "  Title: \"tab\\there \xf0\x9f\x98\x80\"\n",
             "(936 more bytes, 1000 in all)\n",
             "  Creation Date: 0 (unknown)\n",
             "  Expiry Date: 1601-01-01 00:00:00 UTC\n",
             "  Length Type Flags: 0x19 (Multiple Payloads Present: yes, Sequence Type: not "
             "present, Padding Length Type: DWORD, Packet Length Type: not present, Error "
             "Correction Present: no)\n",
             "  Average Time Per Frame: 0x1999999999999999 (not set)\n",
             "  Timecode: 01:02:03:04\n  Bad Timecode: 0x102030a (not BCD digits)\n",
             "  XMP: 200 bytes of text\n    \"<?xpacket?>\"\n    \"xxx",
             "xxx\" (10 more bytes)\n    \"3\"\n",
             "    \"8\"\n    (2 more lines)\n",
             "  Encoding Time: 2006-05-29 17:33:02.5 UTC\n",
             "  Compression ID: \"WMV2\"\n",
             "  Other ID: 0x0\n",
             "  Entry 0\n    ! error at 0x40: a record with only a finding\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
}

TEST(Views, JsonIsValidAndExact) {
    auto out = Output::memory();
    asfinspect::view::JsonView json(out);
    write_values(json);
    const std::string text = out.text_so_far();
    EXPECT_TRUE(asftest::valid_json(text)) << text;
    for (const char* member : {
             "\"path\":\"a \\\"quoted\\\"\\n\xef\xbf\xbd path\"",
             "\"preroll\":3100,\"play_duration\":61460001,\"data_offset\":738",
             "\"image_height\":-120,\"flags\":6",
             "{\"guid\":\"F8699E40-5B4D-11CF-A8FD-00805F5C442B\",\"name\":\"ASF_Audio_Media\"}",
             "\"title\":\"tab\\there \xf0\x9f\x98\x80\"",
             "\"creation_date\":\"1601-01-01T00:00:00Z\",\"creation_date_sentinel\":\"unknown\","
             "\"expiry_date\":\"1601-01-01T00:00:00Z\",\"length_type_flags\":25,",
             "\"length_type_flags_parts\":{\"multiple_payloads_present\":true,\"sequence_type\":0,"
             "\"padding_length_type\":3,\"packet_length_type\":0,\"error_correction_present\":"
             "false},\"average_time_per_frame\":1844674407370955161,"
             "\"average_time_per_frame_sentinel\":\"not "
             "set\",\"timecode\":16909060,\"timecode_text\":"
             "\"01:02:03:04\",\"bad_timecode\":16909066,\"bad_timecode_text\":null,",
             "\"xmp\":{\"length\":200,\"hex\":\"3c3f7870\"},\"xmp_text\":\"<?xpacket?>\\r\\nxxx",
             "\"encoding_time\":\"2006-05-29T17:33:02.5Z\"",
             "\"compression_id\":\"WMV2\",\"other_id\":\"\\u0000\\u0000\\u0000\\u0000\"",
             "\"entries\":[{\"findings\":[{\"offset\":64,\"severity\":\"error\",\"code\":"
             "\"x\",\"message\":\"a record with only a finding\"}]}]",
         }) {
        EXPECT_NE(text.find(member), std::string::npos) << member << "\n" << text;
    }
    const auto hex = text.find("\"data\":{\"length\":1000,\"hex\":\"ab01");
    ASSERT_NE(hex, std::string::npos);
    EXPECT_EQ(text.find('"', hex + 29) - (hex + 29), 128u);  // 64 bytes shown
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "asf_writer.hpp"
#include "dump/file_properties.hpp"
#include "dump/stream_properties.hpp"

using namespace asftest;
using asfinspect::dump::FileProperties;
using asfinspect::dump::StreamSlot;
using asfinspect::io::Output;

namespace {

// 1 January 1998, 00:00:00 UTC, in 100 ns units since 1601.
constexpr std::int64_t kJan1998 = (883'612'800LL + 11'644'473'600LL) * 10'000'000LL;

const Guid kCommandMedia = asfinspect::asf::registry_guid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");

// The creation time goes through the C library's local time.
class HeaderReport : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

std::string file_report(const FileProps& p, Output::Base base = Output::Base::hexadecimal) {
    const Bytes payload = file_properties_payload(p);
    FileProperties raw{};
    std::copy(payload.begin(), payload.end(), raw.begin());
    auto out = Output::memory();
    out.set_base(base);
    asfinspect::dump::report_file_properties(out, raw);
    EXPECT_EQ(out.base(), base);
    return out.text_so_far();
}

// On the heap, so that a read outside the slot shows under the address sanitizer.
std::unique_ptr<StreamSlot> slot_of(const StreamProps& s) {
    auto slot = std::make_unique<StreamSlot>();
    slot->fill(0);
    const Bytes payload = stream_properties_payload(s);
    std::copy_n(payload.begin(), std::min(payload.size(), slot->size()), slot->begin());
    return slot;
}

void set16(StreamSlot& slot, std::size_t at, std::uint16_t v) {
    slot[at] = static_cast<std::uint8_t>(v);
    slot[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::string stream_report(const StreamSlot& slot, Output::Base base = Output::Base::hexadecimal) {
    auto out = Output::memory();
    out.set_base(base);
    asfinspect::dump::report_stream(out, slot);
    EXPECT_EQ(out.base(), Output::Base::decimal);
    return out.text_so_far();
}

std::string stream_report(const StreamProps& s, Output::Base base = Output::Base::hexadecimal) {
    return stream_report(*slot_of(s), base);
}

// The audio lines after " Audio stream" and " Format ID ".
std::string audio_tail(const StreamSlot& slot) {
    const std::string text = stream_report(slot);
    return text.substr(text.find(" Format ID "));
}

StreamProps spread_audio(std::int16_t cb_size, const Bytes& parameters) {
    StreamProps s;
    s.error_correction = asfinspect::asf::guids::kAudioSpread;
    s.type_specific = waveformatex(0x161, cb_size);
    s.error_correction_data = parameters;
    return s;
}

}  // namespace

TEST_F(HeaderReport, FileHeaderBlockInHexWithFloatsAtSixDigits) {
    FileProps p;
    p.file_size = 12'345'678;
    p.creation_date = kJan1998;
    p.packets = (std::int64_t{1} << 32) + 1;  // needs all 64 bits
    p.play_duration = 123'456'789'000;        // above 2^32
    p.send_duration = 10'000'000;
    p.preroll = (std::uint64_t{5} << 32) | 3000;
    p.flags = 2;
    p.min_packet = 3200;
    p.max_packet = 3200;
    p.max_bitrate = 0xffffffff;
    EXPECT_EQ(file_report(p),
              "Dumping file header: \n"
              "File size 1.23457e+07\n"
              "Creation time Thu Jan  1 00:00:00 1998\n"
              "Number of packets: 4.29497e+09\n"
              "Total time: 12345.7 s\n"
              "Play time: 1 s\n"
              "Play start time: 3 s\n"
              "Flags: 2\n"
              "Packet size: c80/c80 bytes\n"
              "Uncompressed frame size: ffffffff bytes\n"
              "Unknown field:  5 \n");

    const std::string dec = file_report(p, Output::Base::decimal);
    EXPECT_NE(dec.find("Packet size: 3200/3200 bytes\n"), std::string::npos) << dec;
    EXPECT_NE(dec.find("Uncompressed frame size: -1 bytes\n"), std::string::npos) << dec;
}

TEST_F(HeaderReport, PrerollHalvesAreSigned32BitValues) {
    FileProps p;
    p.preroll = 3000;
    std::string text = file_report(p);
    EXPECT_NE(text.find("Play start time: 3 s\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unknown field:  0 \n"), std::string::npos) << text;

    p.preroll = 0xfffffff0'fffffc18;  // low half -1000, high half -16
    text = file_report(p);
    EXPECT_NE(text.find("Play start time: -1 s\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unknown field:  fffffff0 \n"), std::string::npos) << text;
}

TEST_F(HeaderReport, CreationTimeIsA64BitTimeTruncatedTowardZero) {
    struct Case {
        std::int64_t ticks;
        const char* line;
    };
    // The zero date is 1601, not a 32-bit wrap-around into 2009. Every 64-bit
    // tick count stays within the years the C library formats, so the extremes
    // print as dates too; the "(invalid)" fallback is out of reach here.
    const Case cases[] = {
        {0, "Creation time Mon Jan  1 00:00:00 1601\n"},
        {-1, "Creation time Mon Jan  1 00:00:00 1601\n"},
        {-10'000'001, "Creation time Sun Dec 31 23:59:59 1600\n"},
        {kJan1998 + 19'999'999, "Creation time Thu Jan  1 00:00:01 1998\n"},
        {(11'644'473'600LL + (std::int64_t{1} << 31)) * 10'000'000,
         "Creation time Tue Jan 19 03:14:08 2038\n"},
        {std::numeric_limits<std::int64_t>::max(), "Creation time Thu Sep 14 02:48:05 30828\n"},
        {std::numeric_limits<std::int64_t>::min(), "Creation time Thu Apr 19 21:11:55 -27627\n"},
    };
    for (const auto& c : cases) {
        FileProps p;
        p.creation_date = c.ticks;
        const std::string text = file_report(p);
        EXPECT_NE(text.find(c.line), std::string::npos) << c.ticks << "\n" << text;
    }
}

TEST_F(HeaderReport, FileWithoutFilePropertiesReportsZerosAndThe1601Date) {
    const std::string text = dump(header_object({}));
    EXPECT_EQ(text.substr(text.find("Dumping file header")),
              "Dumping file header: \n"
              "File size 0\n"
              "Creation time Mon Jan  1 00:00:00 1601\n"
              "Number of packets: 0\n"
              "Total time: 0 s\n"
              "Play time: 0 s\n"
              "Play start time: 0 s\n"
              "Flags: 0\n"
              "Packet size: 0/0 bytes\n"
              "Uncompressed frame size: 0 bytes\n"
              "Unknown field:  0 \n"
              "Data chunk not found\n");
}

TEST_F(HeaderReport, CommonStreamFieldsFollowTheBaseLeftBefore) {
    StreamProps s;
    s.flags = 0x8002;
    s.time_offset = 10'000'000;
    s.reserved = 0xffffffff;
    s.type_specific = waveformatex(0x161, 0);
    s.error_correction_data = Bytes(26, 0);
    const auto slot = slot_of(s);
    EXPECT_EQ(stream_report(*slot),
              "Dumping stream header: \n"
              " Stream ID 8002\n"
              " Total data size: 12\n"
              " Variable data size: 1a\n"
              " Unknown fields: 0x1e+07 0x-1\n"
              " Audio stream\n"
              " Format ID 353\n"
              " No data concealment\n");
    set16(*slot, asfinspect::dump::stream_layout::kFlags, 2);
    slot->at(asfinspect::dump::stream_layout::kTypeSpecificLength + 3) = 0xff;
    const std::string hex = stream_report(*slot);
    EXPECT_NE(hex.find(" Stream ID 2\n Total data size: ff000012\n"), std::string::npos) << hex;
}

TEST_F(HeaderReport, SecondStreamOfAFilePrintsInDecimal) {
    StreamProps first;
    first.flags = 0x8002;
    first.type_specific = waveformatex(0xfffe, 0);
    StreamProps second = first;
    second.type = asfinspect::asf::guids::kVideoMedia;
    second.type_specific = video_format("WMV2");
    const std::string text =
        dump(header_object({stream_properties(first), stream_properties(second)}));
    EXPECT_EQ(text.substr(text.find("Dumping stream header")),
              "Dumping stream header: \n"
              " Stream ID 8002\n"
              " Total data size: 12\n"
              " Variable data size: 0\n"
              " Unknown fields: 0x0 0x0\n"
              " Audio stream\n"
              " Format ID -2\n"
              " No data concealment\n"
              "Dumping stream header: \n"
              " Stream ID 32770\n"
              " Total data size: 51\n"
              " Variable data size: 0\n"
              " Unknown fields: 0x0 0x0\n"
              " Video stream\n"
              " biSize 40\n"
              " fourcc WMV2\n"
              "Data chunk not found\n");
}

TEST_F(HeaderReport, AudioConcealment) {
    StreamProps s;
    s.type_specific = waveformatex(0x161, 0);
    const Guid unknown = asfinspect::asf::guids::kVideoMedia;
    for (const Guid& none :
         {asfinspect::asf::guids::kNoErrorCorrection, asfinspect::asf::guids::kAudioConcealNone}) {
        s.error_correction = none;
        EXPECT_EQ(audio_tail(*slot_of(s)), " Format ID 353\n No data concealment\n");
    }
    s.error_correction = unknown;
    s.error_correction_data = spread(8, 1000, 200, 1, 0);
    EXPECT_EQ(audio_tail(*slot_of(s)), " Format ID 353\n Unknown uid_conceal\n");

    // The parameters follow a WAVEFORMATEX of 18 + cbSize bytes.
    EXPECT_EQ(audio_tail(*slot_of(spread_audio(0, spread(8, 1000, 200, 1, 0x7f)))),
              " Format ID 353\n Interleave data concealment\n Parameters: 8 1000 200 1 127\n");
    EXPECT_EQ(audio_tail(*slot_of(spread_audio(10, spread(16, 640, 64, 2, 0x55)))),
              " Format ID 353\n Interleave data concealment\n Parameters: 16 640 64 2 85\n");
    // cbSize -1: a 17-byte WAVEFORMATEX whose last byte is also the Span.
    StreamProps short_format = spread_audio(-1, spread(0xff, 1000, 200, 1, 0x7f));
    short_format.type_specific.pop_back();
    EXPECT_EQ(audio_tail(*slot_of(short_format)),
              " Format ID 353\n Interleave data concealment\n Parameters: 255 1000 200 1 127\n");
}

TEST_F(HeaderReport, SpreadParametersOutsideTheSlotReadAsZero) {
    namespace at = asfinspect::dump::stream_layout;
    const auto slot = slot_of(spread_audio(0, {}));
    for (std::size_t i = 0; i < 8; ++i)
        (*slot)[1016 + i] = static_cast<std::uint8_t>(0x11 + i);
    struct Case {
        std::int16_t cb_size;
        const char* parameters;
    };
    // The stream type GUID, F8699E40-5B4D-11CF-..., starts the slot: 40 9e 69 f8 4d 5b cf 11.
    const Case cases[] = {
        {944, " Parameters: 17 4882 5396 5910 24\n"},  // the last 8 bytes of the slot
        {945, " Parameters: 18 5139 5653 6167 0\n"},
        {948, " Parameters: 21 5910 24 0 0\n"},  // a word straddling the end keeps its low byte
        {std::numeric_limits<std::int16_t>::max(), " Parameters: 0 0 0 0 0\n"},
        {-72, " Parameters: 64 27038 19960 53083 17\n"},  // the first 8 bytes of the slot
        {-73, " Parameters: 0 40512 63593 23373 207\n"},
        {-74, " Parameters: 0 16384 27038 19960 91\n"},  // straddling the start keeps its high byte
        {std::numeric_limits<std::int16_t>::min(), " Parameters: 0 0 0 0 0\n"},
    };
    for (const auto& c : cases) {
        set16(*slot, at::kCbSize, static_cast<std::uint16_t>(c.cb_size));
        EXPECT_EQ(audio_tail(*slot),
                  std::string(" Format ID 353\n Interleave data concealment\n") + c.parameters)
            << "cbSize " << c.cb_size;
    }
}

TEST_F(HeaderReport, VideoFourccEndsAtAZeroByte) {
    StreamProps s;
    s.type = asfinspect::asf::guids::kVideoMedia;
    s.error_correction = asfinspect::asf::guids::kNoErrorCorrection;
    s.type_specific = video_format("WMV2", 0xffd8);
    std::string text = stream_report(s, Output::Base::decimal);
    EXPECT_EQ(text.substr(text.find(" Video")), " Video stream\n biSize -40\n fourcc WMV2\n");

    s.type_specific = video_format(std::string_view("W\0V2", 4));
    text = stream_report(s);
    EXPECT_EQ(text.substr(text.find(" Video")), " Video stream\n biSize 40\n fourcc W\n");

    s.type_specific = video_format(std::string_view("\0MV2", 4));
    text = stream_report(s);
    EXPECT_EQ(text.substr(text.find(" Video")), " Video stream\n biSize 40\n fourcc \n");
}

TEST_F(HeaderReport, StreamNeitherAudioNorVideo) {
    StreamProps s;
    s.type = kCommandMedia;
    s.error_correction = asfinspect::asf::guids::kAudioSpread;
    s.error_correction_data = spread(8, 1000, 200, 1, 0);
    EXPECT_EQ(stream_report(s, Output::Base::decimal),
              "Dumping stream header: \n"
              " Stream ID 1\n"
              " Total data size: 0\n"
              " Variable data size: 8\n"
              " Unknown fields: 0x0 0x0\n"
              " Unknown stream\n");
}

#include "dump/file_properties.hpp"

#include <ctime>
#include <string_view>

#include "io/le.hpp"

namespace asfinspect::dump {

FilePropertiesFields decode_file_properties(const FileProperties& raw) {
    namespace at = file_properties_layout;
    const io::Bytes b(raw);
    FilePropertiesFields f;
    f.file_size = io::le64s(b, at::kFileSize);
    f.creation_date = io::le64s(b, at::kCreationDate);
    f.data_packets = io::le64s(b, at::kDataPackets);
    f.play_duration = io::le64s(b, at::kPlayDuration);
    f.send_duration = io::le64s(b, at::kSendDuration);
    f.preroll_low = io::le32s(b, at::kPrerollLow);
    f.preroll_high = io::le32s(b, at::kPrerollHigh);
    f.flags = io::le32(b, at::kFlags);
    f.min_packet_size = io::le32(b, at::kMinPacketSize);
    f.max_packet_size = io::le32(b, at::kMaxPacketSize);
    f.max_bitrate = io::le32(b, at::kMaxBitrate);
    return f;
}

namespace {

constexpr double kTicksPerSecond = 10'000'000.0;  // file times count 100 ns units
constexpr std::int64_t kTicksPerWholeSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr double kMillisecondsPerSecond = 1000.0;

// "Creation time " line: the local time as ctime formats it, or "(invalid)"
// when the time can't be represented.
void print_creation_time(io::Output& out, std::int64_t creation_date) {
    const std::time_t seconds = creation_date / kTicksPerWholeSecond - kSecondsFrom1601To1970;
    const char* text = std::ctime(&seconds);
    std::string_view line = text != nullptr ? std::string_view(text) : "(invalid)";
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    out.text("Creation time ").text(line).end_line();
}

}  // namespace

void report_file_properties(io::Output& out, const FileProperties& raw) {
    const FilePropertiesFields f = decode_file_properties(raw);
    // The 32-bit fields print as signed 32-bit values: in hexadecimal a value
    // with the top bit set shows all eight digits.
    const auto as_i32 = [](std::uint32_t v) { return static_cast<std::int32_t>(v); };
    out.text("Dumping file header: ").end_line();
    out.text("File size ").real(static_cast<double>(f.file_size)).end_line();
    print_creation_time(out, f.creation_date);
    out.text("Number of packets: ").real(static_cast<double>(f.data_packets)).end_line();
    out.text("Total time: ")
        .real(static_cast<double>(f.play_duration) / kTicksPerSecond)
        .text(" s")
        .end_line();
    out.text("Play time: ")
        .real(static_cast<double>(f.send_duration) / kTicksPerSecond)
        .text(" s")
        .end_line();
    out.text("Play start time: ")
        .real(f.preroll_low / kMillisecondsPerSecond)
        .text(" s")
        .end_line();
    out.text("Flags: ").i32(as_i32(f.flags)).end_line();
    out.text("Packet size: ")
        .i32(as_i32(f.min_packet_size))
        .text("/")
        .i32(as_i32(f.max_packet_size))
        .text(" bytes")
        .end_line();
    out.text("Uncompressed frame size: ").i32(as_i32(f.max_bitrate)).text(" bytes").end_line();
    out.text("Unknown field: ").text(" ").i32(f.preroll_high).text(" ").end_line();
}

}  // namespace asfinspect::dump

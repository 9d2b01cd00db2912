#include "asf/file_properties.hpp"

#include "io/le.hpp"

namespace asfinspect::asf {

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

}  // namespace asfinspect::asf

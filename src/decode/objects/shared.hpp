#pragma once

// The layout of each object the decoder knows, one function each; shared
// between the files that define them and the table in header.cpp.

#include "decode/field_reader.hpp"

namespace asfinspect::decode::objects {

// Shared by the layouts.
inline constexpr std::uint16_t kStreamNumberMask = 0x7F;
inline constexpr std::uint16_t kHighestStreamNumber = 127;
// Reports a stream number, read at `at`, outside 1 to 127.
void check_stream_number(FieldReader& r, std::uint64_t stream, std::int64_t at);
// Reports a record, read at `at`, that names a stream the Header Object
// doesn't declare.
void check_stream_reference(FieldReader& r, StreamReference kind, std::uint16_t stream,
                            std::int64_t at);
// Reports a language index, read at `at`, that the Language List doesn't hold.
void check_language_index(FieldReader& r, std::uint32_t index, std::int64_t at);
// The common audio format tags (WAVEFORMATEX's Format Tag).
EnumNames format_tag_names();
// Reports a count, read at `at`, of records of at least `least` bytes each
// that the rest of the object can't hold. The records are read all the same,
// up to the first one cut short.
void check_record_count(FieldReader& r, const Key& key, std::uint64_t count, std::uint64_t least,
                        std::int64_t at);
// Shows and reports the bytes left after an object's last field.
void check_leftover(FieldReader& r);

// Top level and the Header Object.
void header(FieldReader& r);
void file_properties(FieldReader& r);
void header_extension(FieldReader& r);
void padding(FieldReader& r);
void opaque(FieldReader& r);

// Streams.
void stream_properties(FieldReader& r);
void extended_stream_properties(FieldReader& r);
void stream_bitrate_properties(FieldReader& r);

// Descriptions, tags and lists.
void codec_list(FieldReader& r);
void script_command(FieldReader& r);
void marker(FieldReader& r);
void content_description(FieldReader& r);
void extended_content_description(FieldReader& r);
void content_branding(FieldReader& r);
void metadata(FieldReader& r);
void metadata_library(FieldReader& r);
void language_list(FieldReader& r);
void compatibility(FieldReader& r);

// Mutual exclusion, priorities, bandwidth, error correction, protection.
void bitrate_mutual_exclusion(FieldReader& r);
void advanced_mutual_exclusion(FieldReader& r);
void group_mutual_exclusion(FieldReader& r);
void stream_prioritization(FieldReader& r);
void bandwidth_sharing(FieldReader& r);
void error_correction(FieldReader& r);
void content_encryption(FieldReader& r);
void extended_content_encryption(FieldReader& r);
void advanced_content_encryption(FieldReader& r);
void digital_signature(FieldReader& r);

// Indexes and their parameters.
void index_parameters(FieldReader& r);
void media_object_index_parameters(FieldReader& r);
void timecode_index_parameters(FieldReader& r);
void simple_index(FieldReader& r);
void index(FieldReader& r);
void media_object_index(FieldReader& r);
void timecode_index(FieldReader& r);

}  // namespace asfinspect::decode::objects

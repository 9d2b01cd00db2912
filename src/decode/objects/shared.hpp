#pragma once

// What the families of layouts share: the checks of fields that several
// objects hold, and each family's rows of the layout table, which objects.cpp
// looks a type up in.

#include <span>

#include "decode/field_reader.hpp"
#include "decode/objects/objects.hpp"

namespace asfinspect::decode::objects {

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

// The families' rows, each defined beside its layouts.
// The Header Object, File Properties, Header Extension, Padding, the objects
// kept as bytes, and the Data Object (nothing to decode here).
std::span<const LayoutRow> header_layouts();
// Stream Properties, Extended Stream Properties, Stream Bitrate Properties.
std::span<const LayoutRow> stream_layouts();
// Descriptions, tags and lists.
std::span<const LayoutRow> description_layouts();
// Mutual exclusion, priorities, bandwidth, error correction, protection.
std::span<const LayoutRow> exclusion_layouts();
// Indexes and their parameters.
std::span<const LayoutRow> index_layouts();

}  // namespace asfinspect::decode::objects

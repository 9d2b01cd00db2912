#pragma once

// The objects the classic dump recognises, the names it prints for them, and
// its way of printing a GUID.

#include <array>
#include <cstdint>
#include <string_view>

#include "asf/guid_registry.hpp"
#include "io/output.hpp"

namespace asfinspect::dump {

// The objects the walker recognises; 0 for any other GUID.
enum class ObjectKind : int {
    none = 0,
    header = 1,
    data = 2,
    simple_index = 3,
    stream_properties = 4,
    header_v2 = 5,
    file_properties = 6,
};

// One row per recognised object: its GUID, its kind and the name the object
// listing prints for it.
struct ObjectGuidEntry {
    asf::Guid guid;
    ObjectKind kind;
    std::string_view name;
};

// Searched in this order by lookup_guid; row n, counted from 1, is kind n.
inline constexpr std::array<ObjectGuidEntry, 6> kObjectGuids{{
    {asf::guids::kHeaderObject, ObjectKind::header, "header"},
    {asf::guids::kDataObject, ObjectKind::data, "data chunk"},
    {asf::guids::kSimpleIndexObject, ObjectKind::simple_index, "index"},
    {asf::guids::kStreamPropertiesObject, ObjectKind::stream_properties, "stream header"},
    {asf::guids::kHeaderV2Object, ObjectKind::header_v2, "ASF 2.0 header"},
    {asf::guids::kFilePropertiesObject, ObjectKind::file_properties, "file header"},
}};

// The kind of an object's GUID; none for any GUID not in the table.
constexpr ObjectKind lookup_guid(const asf::Guid& guid) {
    for (const auto& entry : kObjectGuids) {
        if (entry.guid == guid)
            return entry.kind;
    }
    return ObjectKind::none;
}

constexpr bool rows_in_kind_order() {
    for (std::size_t i = 0; i < kObjectGuids.size(); ++i) {
        if (static_cast<std::size_t>(kObjectGuids[i].kind) != i + 1)
            return false;
    }
    return true;
}
static_assert(rows_in_kind_order(), "object_name finds a kind's row by its number");

constexpr bool each_row_looked_up_as_its_kind() {
    for (const auto& row : kObjectGuids) {
        if (lookup_guid(row.guid) != row.kind)
            return false;
    }
    return true;
}
static_assert(each_row_looked_up_as_its_kind(), "a GUID stands in one row only");

// A stream-properties payload starts with a stream type and an error
// correction type; none of them may be taken for an object.
static_assert(lookup_guid(asf::guids::kAudioMedia) == ObjectKind::none &&
              lookup_guid(asf::guids::kVideoMedia) == ObjectKind::none &&
              lookup_guid(asf::guids::kNoErrorCorrection) == ObjectKind::none &&
              lookup_guid(asf::guids::kAudioConcealNone) == ObjectKind::none &&
              lookup_guid(asf::guids::kAudioSpread) == ObjectKind::none);

// The printed name of a recognised kind; empty for none.
constexpr std::string_view object_name(ObjectKind kind) {
    const auto row = static_cast<std::size_t>(kind);
    return row == 0 || row > kObjectGuids.size() ? std::string_view{} : kObjectGuids[row - 1].name;
}

// Writes the GUID as its three little-endian groups and its eight single bytes,
// in the Output's current base, without leading zeros.
io::Output& print_guid(io::Output& out, const asf::Guid& guid);

}  // namespace asfinspect::dump

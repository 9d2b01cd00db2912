#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "asf/guid.hpp"

namespace asfinspect::asf {

// The objects the complete decoder knows, each with a layout of its own.
enum class ObjectType : std::uint8_t {
    unknown,
    // top level
    header,
    data,
    simple_index,
    index,
    media_object_index,
    timecode_index,
    // in the Header Object
    file_properties,
    stream_properties,
    header_extension,
    codec_list,
    script_command,
    marker,
    bitrate_mutual_exclusion,
    error_correction,
    content_description,
    extended_content_description,
    content_branding,
    stream_bitrate_properties,
    content_encryption,
    extended_content_encryption,
    digital_signature,
    padding,
    // in the Header Extension Object
    extended_stream_properties,
    advanced_mutual_exclusion,
    group_mutual_exclusion,
    stream_prioritization,
    bandwidth_sharing,
    language_list,
    metadata,
    metadata_library,
    index_parameters,
    media_object_index_parameters,
    timecode_index_parameters,
    compatibility,
    advanced_content_encryption,
    index_placeholder,
    // found in files, outside the standard
    header_v2_draft,
    data_v2_draft,
    xmp,
    content_protection,
};

// Where ASF places an object, or that the GUID is a value of a GUID field.
enum class Placement : std::uint8_t {
    value,             // a stream type, error correction type, reserved field...
    top_level,         // beside the Header and Data Objects
    header,            // a child of the Header Object
    header_extension,  // a child of the Header Extension Object
    header_or_extension,
};

inline constexpr std::size_t kRegistryFormLength = 36;

namespace detail {
consteval std::uint8_t hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    throw "not an upper-case hexadecimal digit";
}
}  // namespace detail

// The stored bytes of a GUID written in registry form: the first three groups
// are little-endian numbers, the last two are bytes in the order written.
consteval Guid registry_guid(std::string_view text) {
    if (text.size() != kRegistryFormLength || text[8] != '-' || text[13] != '-' ||
        text[18] != '-' || text[23] != '-') {
        throw "not a GUID in registry form";
    }
    std::array<std::uint8_t, 16> written{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-')
            continue;
        written[n / 2] =
            static_cast<std::uint8_t>(written[n / 2] << 4 | detail::hex_digit(text[i]));
        ++n;
    }
    Guid g;
    constexpr std::array<std::size_t, 8> kGroupOrder{3, 2, 1, 0, 5, 4, 7, 6};
    for (std::size_t i = 0; i < kGroupOrder.size(); ++i)
        g.bytes[i] = written[kGroupOrder[i]];
    for (std::size_t i = 8; i < 16; ++i)
        g.bytes[i] = written[i];
    return g;
}

// GUIDs that layouts compare fields with.
inline constexpr Guid kReserved1 = registry_guid("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr Guid kReserved2 = registry_guid("86D15241-311D-11D0-A3A4-00A0C90348F6");
inline constexpr Guid kReserved3 = registry_guid("4B1ACBE3-100B-11D0-A39B-00A0C90348F6");
inline constexpr Guid kReserved4 = registry_guid("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB");
inline constexpr Guid kJfifMedia = registry_guid("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr Guid kDegradableJpegMedia = registry_guid("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr Guid kFileTransferMedia = registry_guid("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr Guid kBinaryMedia = registry_guid("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");
inline constexpr Guid kWebStreamFormat = registry_guid("DA1E6B13-8359-4050-B398-388E965BF00C");

struct GuidInfo {
    Guid guid;
    std::string_view name;  // as ASF names it, e.g. ASF_File_Properties_Object
    ObjectType object = ObjectType::unknown;
    Placement placement = Placement::value;
};

// Every GUID the decoder names, or nullptr.
const GuidInfo* find_guid(const Guid& guid);

// Whether a GUID that begins with these two bytes may be that of an object
// the decoder knows: a quick test before find_guid, for scans byte by byte.
bool may_start_object_guid(std::uint8_t first, std::uint8_t second);

// The name of a known GUID, or "" when it is unknown.
std::string_view guid_name(const Guid& guid);

// Registry form, upper case: 75B22630-668E-11CF-A6D9-00AA0062CE6C.
std::array<char, kRegistryFormLength> registry_form(const Guid& guid);

inline std::string_view as_view(const std::array<char, kRegistryFormLength>& text) {
    return {text.data(), text.size()};
}

}  // namespace asfinspect::asf

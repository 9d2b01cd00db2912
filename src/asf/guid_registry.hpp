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

struct GuidInfo {
    Guid guid;
    std::string_view name;  // as ASF names it, e.g. ASF_File_Properties_Object
    ObjectType object = ObjectType::unknown;
    Placement placement = Placement::value;
};

// One row per GUID that ASF (or a writer met in real files) gives a name:
// objects, stream and error correction types, reserved values, payload
// extension systems. Each GUID is written here once; the constants below are
// found in this table by name.
namespace registry_rows {
using O = ObjectType;
using P = Placement;
inline constexpr GuidInfo kRegistry[] = {
    // Top-level objects.
    {registry_guid("75B22630-668E-11CF-A6D9-00AA0062CE6C"), "ASF_Header_Object", O::header,
     P::top_level},
    {registry_guid("75B22636-668E-11CF-A6D9-00AA0062CE6C"), "ASF_Data_Object", O::data,
     P::top_level},
    {registry_guid("33000890-E5B1-11CF-89F4-00A0C90349CB"), "ASF_Simple_Index_Object",
     O::simple_index, P::top_level},
    {registry_guid("D6E229D3-35DA-11D1-9034-00A0C90349BE"), "ASF_Index_Object", O::index,
     P::top_level},
    {registry_guid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C"), "ASF_Media_Object_Index_Object",
     O::media_object_index, P::top_level},
    {registry_guid("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C"), "ASF_Timecode_Index_Object",
     O::timecode_index, P::top_level},
    // Header objects.
    {registry_guid("8CABDCA1-A947-11CF-8EE4-00C00C205365"), "ASF_File_Properties_Object",
     O::file_properties, P::header},
    {registry_guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365"), "ASF_Stream_Properties_Object",
     O::stream_properties, P::header},
    {registry_guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365"), "ASF_Header_Extension_Object",
     O::header_extension, P::header},
    {registry_guid("86D15240-311D-11D0-A3A4-00A0C90348F6"), "ASF_Codec_List_Object", O::codec_list,
     P::header},
    {registry_guid("1EFB1A30-0B62-11D0-A39B-00A0C90348F6"), "ASF_Script_Command_Object",
     O::script_command, P::header},
    {registry_guid("F487CD01-A951-11CF-8EE6-00C00C205365"), "ASF_Marker_Object", O::marker,
     P::header},
    {registry_guid("D6E229DC-35DA-11D1-9034-00A0C90349BE"), "ASF_Bitrate_Mutual_Exclusion_Object",
     O::bitrate_mutual_exclusion, P::header},
    {registry_guid("75B22635-668E-11CF-A6D9-00AA0062CE6C"), "ASF_Error_Correction_Object",
     O::error_correction, P::header},
    {registry_guid("75B22633-668E-11CF-A6D9-00AA0062CE6C"), "ASF_Content_Description_Object",
     O::content_description, P::header},
    {registry_guid("D2D0A440-E307-11D2-97F0-00A0C95EA850"),
     "ASF_Extended_Content_Description_Object", O::extended_content_description, P::header},
    {registry_guid("2211B3FA-BD23-11D2-B4B7-00A0C955FC6E"), "ASF_Content_Branding_Object",
     O::content_branding, P::header},
    {registry_guid("7BF875CE-468D-11D1-8D82-006097C9A2B2"), "ASF_Stream_Bitrate_Properties_Object",
     O::stream_bitrate_properties, P::header},
    {registry_guid("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E"), "ASF_Content_Encryption_Object",
     O::content_encryption, P::header},
    {registry_guid("298AE614-2622-4C17-B935-DAE07EE9289C"),
     "ASF_Extended_Content_Encryption_Object", O::extended_content_encryption, P::header},
    {registry_guid("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E"), "ASF_Digital_Signature_Object",
     O::digital_signature, P::header},
    {registry_guid("1806D474-CADF-4509-A4BA-9AABCB96AAE8"), "ASF_Padding_Object", O::padding,
     P::header_or_extension},
    // Header Extension objects.
    {registry_guid("14E6A5CB-C672-4332-8399-A96952065B5A"), "ASF_Extended_Stream_Properties_Object",
     O::extended_stream_properties, P::header_extension},
    {registry_guid("A08649CF-4775-4670-8A16-6E35357566CD"), "ASF_Advanced_Mutual_Exclusion_Object",
     O::advanced_mutual_exclusion, P::header_extension},
    {registry_guid("D1465A40-5A79-4338-B71B-E36B8FD6C249"), "ASF_Group_Mutual_Exclusion_Object",
     O::group_mutual_exclusion, P::header_extension},
    {registry_guid("D4FED15B-88D3-454F-81F0-ED5C45999E24"), "ASF_Stream_Prioritization_Object",
     O::stream_prioritization, P::header_extension},
    {registry_guid("A69609E6-517B-11D2-B6AF-00C04FD908E9"), "ASF_Bandwidth_Sharing_Object",
     O::bandwidth_sharing, P::header_extension},
    {registry_guid("7C4346A9-EFE0-4BFC-B229-393EDE415C85"), "ASF_Language_List_Object",
     O::language_list, P::header_extension},
    {registry_guid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA"), "ASF_Metadata_Object", O::metadata,
     P::header_extension},
    {registry_guid("44231C94-9498-49D1-A141-1D134E457054"), "ASF_Metadata_Library_Object",
     O::metadata_library, P::header_extension},
    {registry_guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"), "ASF_Index_Parameters_Object",
     O::index_parameters, P::header_extension},
    {registry_guid("6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7"),
     "ASF_Media_Object_Index_Parameters_Object", O::media_object_index_parameters,
     P::header_extension},
    {registry_guid("F55E496D-9797-4B5D-8C8B-604DFE9BFB24"), "ASF_Timecode_Index_Parameters_Object",
     O::timecode_index_parameters, P::header_extension},
    {registry_guid("26F18B5D-4584-47EC-9F5F-0E651F0452C9"), "ASF_Compatibility_Object",
     O::compatibility, P::header_extension},
    {registry_guid("43058533-6981-49E6-9B74-AD12CB86D58C"),
     "ASF_Advanced_Content_Encryption_Object", O::advanced_content_encryption, P::header_extension},
    // Stream types.
    {registry_guid("F8699E40-5B4D-11CF-A8FD-00805F5C442B"), "ASF_Audio_Media"},
    {registry_guid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B"), "ASF_Video_Media"},
    {registry_guid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6"), "ASF_Command_Media"},
    {registry_guid("B61BE100-5B4E-11CF-A8FD-00805F5C442B"), "ASF_JFIF_Media"},
    {registry_guid("35907DE0-E415-11CF-A917-00805F5C442B"), "ASF_Degradable_JPEG_Media"},
    {registry_guid("91BD222C-F21C-497A-8B6D-5AA86BFC0185"), "ASF_File_Transfer_Media"},
    {registry_guid("3AFB65E2-47EF-40F2-AC2C-70A90D71D343"), "ASF_Binary_Media"},
    // Web stream types inside binary and file transfer type-specific data.
    {registry_guid("776257D4-C627-41CB-8F81-7AC7FF1C40CC"), "ASF_Web_Stream_Media_Subtype"},
    {registry_guid("DA1E6B13-8359-4050-B398-388E965BF00C"), "ASF_Web_Stream_Format"},
    // Error correction types.
    {registry_guid("20FB5700-5B55-11CF-A8FD-00805F5C442B"), "ASF_No_Error_Correction"},
    {registry_guid("BFC3CD50-618F-11CF-8BB2-00AA00B4E220"), "ASF_Audio_Spread"},
    // Reserved fields and system identifiers.
    {registry_guid("ABD3D211-A9BA-11CF-8EE6-00C00C205365"), "ASF_Reserved_1"},
    {registry_guid("7A079BB6-DAA4-4E12-A5CA-91D38DC11A8D"),
     "ASF_Content_Encryption_System_Windows_Media_DRM_Network_Devices"},
    {registry_guid("86D15241-311D-11D0-A3A4-00A0C90348F6"), "ASF_Reserved_2"},
    {registry_guid("4B1ACBE3-100B-11D0-A39B-00A0C90348F6"), "ASF_Reserved_3"},
    {registry_guid("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB"), "ASF_Reserved_4"},
    // Mutual exclusion and bandwidth sharing types.
    {registry_guid("D6E22A00-35DA-11D1-9034-00A0C90349BE"), "ASF_Mutex_Language"},
    {registry_guid("D6E22A01-35DA-11D1-9034-00A0C90349BE"), "ASF_Mutex_Bitrate"},
    {registry_guid("D6E22A02-35DA-11D1-9034-00A0C90349BE"), "ASF_Mutex_Unknown"},
    {registry_guid("AF6060AA-5197-11D2-B6AF-00C04FD908E9"), "ASF_Bandwidth_Sharing_Exclusive"},
    {registry_guid("AF6060AB-5197-11D2-B6AF-00C04FD908E9"), "ASF_Bandwidth_Sharing_Partial"},
    // Payload extension systems.
    {registry_guid("399595EC-8667-4E2D-8FDB-98814CE76C1E"),
     "ASF_Payload_Extension_System_Timecode"},
    {registry_guid("E165EC0E-19ED-45D7-B4A7-25CBD1E28E9B"),
     "ASF_Payload_Extension_System_File_Name"},
    {registry_guid("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC"),
     "ASF_Payload_Extension_System_Content_Type"},
    {registry_guid("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8"),
     "ASF_Payload_Extension_System_Pixel_Aspect_Ratio"},
    {registry_guid("C6BD9450-867F-4907-83A3-C77921B733AD"),
     "ASF_Payload_Extension_System_Sample_Duration"},
    {registry_guid("6698B84E-0AFA-4330-AEB2-1C0A98D7A44D"),
     "ASF_Payload_Extension_System_Encryption_Sample_ID"},
    {registry_guid("00E1AF06-7BEC-11D1-A582-00C04FC29CFB"),
     "ASF_Payload_Extension_System_Degradable_JPEG"},
    // Met in files though outside the standard: the unused 2.0 draft's header
    // and data objects, the old "no error correction" value, and the objects
    // and payload extensions of some recorders and taggers.
    {registry_guid("D6E229D1-35DA-11D1-9034-00A0C90349BE"), "ASF_2_0_Header_Object",
     O::header_v2_draft, P::top_level},
    {registry_guid("D6E229D2-35DA-11D1-9034-00A0C90349BE"), "ASF_2_0_Data_Object", O::data_v2_draft,
     P::top_level},
    {registry_guid("49F1A440-4ECE-11D0-A3AC-00A0C90348F6"), "ASF_Audio_Conceal_None"},
    {registry_guid("D9AADE20-7C17-4F9C-BC28-8555DD98E2A2"), "ASF_Index_Placeholder_Object",
     O::index_placeholder, P::header_extension},
    {registry_guid("31178C9D-03E1-4528-B582-3DF9DB22F503"), "DVR_MS_Extended_Stream_Type_Audio"},
    {registry_guid("FD3CC02A-06DB-4CFA-801C-7212D38745E4"),
     "DVR_MS_Payload_Extension_System_Timing"},
    {registry_guid("DD6432CC-E229-40DB-80F6-D26328D2761F"),
     "DVR_MS_Payload_Extension_System_Video_Frame"},
    {registry_guid("1135BEB7-3A39-478A-98D9-15C76B00EB69"), "Payload_Extension_System_TimeStamp"},
    {registry_guid("BE7ACFCB-97A9-42E8-9C71-999491E3AFAC"), "XMP_Object", O::xmp, P::top_level},
    {registry_guid("9A04F079-9840-4286-AB92-E65BE0885F95"), "Content_Protection_Object",
     O::content_protection, P::header},
};
}  // namespace registry_rows
using registry_rows::kRegistry;

// The GUID that the registry names `name`; a name it doesn't hold doesn't
// compile.
consteval Guid guid_named(std::string_view name) {
    for (const GuidInfo& row : kRegistry) {
        if (row.name == name)
            return row.guid;
    }
    throw "no GUID of this name in the registry";
}

// The GUIDs the program compares fields and objects with.
namespace guids {
inline constexpr Guid kHeaderObject = guid_named("ASF_Header_Object");
inline constexpr Guid kDataObject = guid_named("ASF_Data_Object");
inline constexpr Guid kSimpleIndexObject = guid_named("ASF_Simple_Index_Object");
inline constexpr Guid kFilePropertiesObject = guid_named("ASF_File_Properties_Object");
inline constexpr Guid kStreamPropertiesObject = guid_named("ASF_Stream_Properties_Object");
inline constexpr Guid kHeaderExtensionObject = guid_named("ASF_Header_Extension_Object");
inline constexpr Guid kHeaderV2Object = guid_named("ASF_2_0_Header_Object");
inline constexpr Guid kAudioMedia = guid_named("ASF_Audio_Media");
inline constexpr Guid kVideoMedia = guid_named("ASF_Video_Media");
inline constexpr Guid kCommandMedia = guid_named("ASF_Command_Media");
inline constexpr Guid kJfifMedia = guid_named("ASF_JFIF_Media");
inline constexpr Guid kDegradableJpegMedia = guid_named("ASF_Degradable_JPEG_Media");
inline constexpr Guid kFileTransferMedia = guid_named("ASF_File_Transfer_Media");
inline constexpr Guid kBinaryMedia = guid_named("ASF_Binary_Media");
inline constexpr Guid kWebStreamFormat = guid_named("ASF_Web_Stream_Format");
inline constexpr Guid kNoErrorCorrection = guid_named("ASF_No_Error_Correction");
// The signature audio error-masking strategy, which writers also use for
// "no error correction".
inline constexpr Guid kAudioConcealNone = guid_named("ASF_Audio_Conceal_None");
inline constexpr Guid kAudioSpread = guid_named("ASF_Audio_Spread");
inline constexpr Guid kReserved1 = guid_named("ASF_Reserved_1");
inline constexpr Guid kReserved2 = guid_named("ASF_Reserved_2");
inline constexpr Guid kReserved3 = guid_named("ASF_Reserved_3");
inline constexpr Guid kReserved4 = guid_named("ASF_Reserved_4");
}  // namespace guids

// Every GUID the decoder names, or nullptr.
const GuidInfo* find_guid(const Guid& guid);

// Whether a GUID that begins with these two bytes may be that of an object
// the decoder knows: a quick test before find_guid, for scans byte by byte.
bool may_start_object_guid(std::uint8_t first, std::uint8_t second);

// The name of a known GUID, or "" when it is unknown.
std::string_view guid_name(const Guid& guid);

}  // namespace asfinspect::asf

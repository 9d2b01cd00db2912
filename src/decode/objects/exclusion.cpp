// Mutual exclusion, prioritization, bandwidth sharing, error correction and
// content protection objects.

#include <optional>
#include <string>

#include "decode/findings.hpp"
#include "decode/objects/shared.hpp"
#include "decode/text.hpp"

namespace asfinspect::decode::objects {

namespace {

constexpr std::uint64_t kStreamNumberBytes = 2;

constexpr FlagName kPriorityFlags[] = {
    {0x1, "Mandatory"},
};

// Stream Number and Priority Flags.
constexpr std::uint64_t kPriorityRecordBytes = 4;

constexpr std::uint16_t kStreamNumberId = 1;
constexpr EnumName kEncryptedObjectIdTypes[] = {
    {kStreamNumberId, "Stream Number"},
};

// System ID, System Version, Encrypted Object Record Count and Data Size.
constexpr std::uint64_t kContentEncryptionRecordLeast = 26;
// Encrypted Object ID Type and Length.
constexpr std::uint64_t kEncryptedObjectRecordLeast = 4;

// The byte order mark that starts the UTF-16LE XML of DRM version 2.
constexpr std::uint64_t kUtf16LeBom = 0xFEFF;
constexpr int kBomBytes = 2;

void stream_number(FieldReader& r, StreamReference kind) {
    const std::int64_t at = r.position();
    const auto stream = r.u16("Stream Number");
    if (!stream)
        return;
    check_stream_number(r, *stream, at);
    check_stream_reference(r, kind, *stream, at);
}

// A count of stream numbers, then the numbers.
void stream_numbers(FieldReader& r, const Key& count_key, StreamReference kind) {
    const std::int64_t count_at = r.position();
    const auto count = r.u16(count_key);
    if (!count)
        return;
    check_record_count(r, count_key, *count, kStreamNumberBytes, count_at);
    r.begin_list("Stream Numbers", "Stream Number");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        stream_number(r, kind);
        r.end_item();
    }
    r.end_list();
}

void mutual_exclusion(FieldReader& r) {
    r.guid("Exclusion Type");
    stream_numbers(r, "Stream Numbers Count", StreamReference::exclusion);
    check_leftover(r);
}

void encrypted_object_record(FieldReader& r) {
    const auto type = r.enumerated("Encrypted Object ID Type", 2, kEncryptedObjectIdTypes);
    const auto length = r.u16("Encrypted Object ID Length");
    if (!type || !length)
        return;
    if (*type != kStreamNumberId || *length != kStreamNumberBytes) {
        r.blob("Encrypted Object ID", *length);
        return;
    }
    // Stream number 0 stands for the whole file.
    const std::int64_t at = r.position();
    const auto stream = r.u16("Encrypted Object ID");
    if (stream && *stream != 0)
        check_stream_number(r, *stream, at);
}

void content_encryption_record(FieldReader& r) {
    r.guid("System ID");
    r.u32("System Version");
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Encrypted Object Record Count");
    if (!count)
        return;
    check_record_count(r, "Encrypted Object Record Count", *count, kEncryptedObjectRecordLeast,
                       count_at);
    r.begin_list("Encrypted Object Records", "Encrypted Object Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        encrypted_object_record(r);
        r.end_item();
    }
    r.end_list();
    const auto size = r.u32("Data Size");
    if (size)
        r.blob("Data", *size);
}

void bitrate_mutual_exclusion(FieldReader& r) {
    mutual_exclusion(r);
}

void advanced_mutual_exclusion(FieldReader& r) {
    mutual_exclusion(r);
}

void group_mutual_exclusion(FieldReader& r) {
    r.guid("Exclusion Type");
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Record Count");
    if (!count)
        return;
    check_record_count(r, "Record Count", *count, kStreamNumberBytes, count_at);
    r.begin_list("Records", "Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        stream_numbers(r, "Stream Count", StreamReference::exclusion);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void stream_prioritization(FieldReader& r) {
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Priority Records Count");
    if (!count)
        return;
    check_record_count(r, "Priority Records Count", *count, kPriorityRecordBytes, count_at);
    // Highest priority first.
    r.begin_list("Priority Records", "Priority Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        stream_number(r, StreamReference::prioritization);
        r.flags("Priority Flags", 2, kPriorityFlags);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void bandwidth_sharing(FieldReader& r) {
    r.guid("Sharing Type");
    r.u32("Data Bitrate");
    // Writers disagree on the unit (bits or milliseconds), so none is shown.
    r.u32("Buffer Size");
    stream_numbers(r, "Stream Numbers Count", StreamReference::bandwidth_sharing);
    check_leftover(r);
}

void error_correction(FieldReader& r) {
    r.guid("Error Correction Type");
    const auto length = r.u32("Error Correction Data Length");
    if (length)
        r.blob("Error Correction Data", *length);
    check_leftover(r);
}

void content_encryption(FieldReader& r) {
    ProtectionFacts& facts = r.facts().protection;
    facts.content_encryption = true;
    const auto secret = r.u32("Secret Data Length");
    if (secret)
        r.blob("Secret Data", *secret);
    const auto protection = r.u32("Protection Type Length");
    if (protection)
        r.ascii_kept("Protection Type", *protection, facts.content.protection_type);
    const auto key_id = r.u32("Key ID Length");
    if (key_id)
        r.ascii_kept("Key ID", *key_id, facts.content.key_id);
    const auto license_url = r.u32("License URL Length");
    if (license_url)
        r.ascii_kept("License URL", *license_url, facts.content.license_url);
    check_leftover(r);
}

// The text of the first element `name` of XML, or nothing.
std::optional<std::string_view> xml_element(std::string_view xml, std::string_view name) {
    std::string open = "<";
    open.append(name).append(">");
    std::string close = "</";
    close.append(name).append(">");
    const std::size_t start = xml.find(open);
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t from = start + open.size();
    const std::size_t end = xml.find(close, from);
    if (end == std::string_view::npos)
        return std::nullopt;
    return xml.substr(from, end - from);
}

// The DRM header's key ID and licence URL: LA_URL in version 4, LAINFO before.
void keep_drm_header(std::string_view xml, EncryptionFacts& into) {
    if (const auto kid = xml_element(xml, "KID"))
        into.key_id.keep(*kid);
    for (const std::string_view name : {"LA_URL", "LAINFO"}) {
        if (const auto url = xml_element(xml, name)) {
            into.license_url.keep(*url);
            return;
        }
    }
}

void extended_content_encryption(FieldReader& r) {
    r.facts().protection.extended_content_encryption = true;
    const auto size = r.u32("Data Size");
    if (!size)
        return;
    // The data is commonly XML in UTF-16LE after a byte order mark; it is
    // shown as text then, and as bytes otherwise.
    const std::int64_t at = r.position();
    if (*size >= kBomBytes && r.left() >= kBomBytes && r.peek_uint(kBomBytes) == kUtf16LeBom) {
        if (const auto xml = r.utf16_text("Data", *size - kBomBytes))
            keep_drm_header(*xml, r.facts().protection.extended);
    } else {
        r.seek(at);
        r.blob("Data", *size);
    }
    check_leftover(r);
}

void advanced_content_encryption(FieldReader& r) {
    r.facts().protection.advanced_content_encryption = true;
    const std::int64_t count_at = r.position();
    const auto count = r.u16("Content Encryption Records Count");
    if (!count)
        return;
    check_record_count(r, "Content Encryption Records Count", *count, kContentEncryptionRecordLeast,
                       count_at);
    r.begin_list("Content Encryption Records", "Content Encryption Record");
    for (std::uint32_t i = 0; i < *count && r.ok(); ++i) {
        r.begin_item(i, r.position());
        content_encryption_record(r);
        r.end_item();
    }
    r.end_list();
    check_leftover(r);
}

void digital_signature(FieldReader& r) {
    r.facts().protection.digital_signature = true;
    // Shown as it is: the signature is not checked.
    r.u32("Signature Type");
    const auto length = r.u32("Signature Data Length");
    if (length)
        r.blob("Signature Data", *length);
    check_leftover(r);
}

using T = asf::ObjectType;
constexpr LayoutRow kExclusionLayouts[] = {
    {T::bitrate_mutual_exclusion, bitrate_mutual_exclusion},
    {T::advanced_mutual_exclusion, advanced_mutual_exclusion},
    {T::group_mutual_exclusion, group_mutual_exclusion},
    {T::stream_prioritization, stream_prioritization},
    {T::bandwidth_sharing, bandwidth_sharing},
    {T::error_correction, error_correction},
    {T::content_encryption, content_encryption},
    {T::extended_content_encryption, extended_content_encryption},
    {T::advanced_content_encryption, advanced_content_encryption},
    {T::digital_signature, digital_signature},
};

}  // namespace

std::span<const LayoutRow> exclusion_layouts() {
    return kExclusionLayouts;
}

}  // namespace asfinspect::decode::objects

// The checks and names that the families of layouts share.

#include "decode/objects/shared.hpp"

#include "decode/findings.hpp"
#include "decode/text.hpp"

namespace asfinspect::decode::objects {

namespace {

constexpr std::uint16_t kHighestStreamNumber = 127;

// Common format tags of audio in ASF files.
constexpr EnumName kFormatTags[] = {
    {0x0001, "PCM"},
    {0x0002, "Microsoft ADPCM"},
    {0x0003, "IEEE float"},
    {0x0006, "A-law"},
    {0x0007, "mu-law"},
    {0x000A, "Windows Media Audio Voice"},
    {0x0011, "IMA ADPCM"},
    {0x0050, "MPEG"},
    {0x0055, "MPEG Layer 3"},
    {0x0160, "Windows Media Audio 1"},
    {0x0161, "Windows Media Audio 2"},
    {0x0162, "Windows Media Audio Professional"},
    {0x0163, "Windows Media Audio Lossless"},
    {0x2000, "AC-3"},
    {0x2001, "DTS"},
    {0xFFFE, "WAVEFORMATEXTENSIBLE"},
};

std::string_view record_name(StreamReference kind) {
    switch (kind) {
        case StreamReference::bitrate_record:
            return "a Stream Bitrate Properties record";
        case StreamReference::extended_stream_properties:
            return "an Extended Stream Properties Object";
        case StreamReference::metadata_record:
            return "a Metadata record";
        case StreamReference::metadata_library_record:
            return "a Metadata Library record";
        case StreamReference::exclusion:
            return "a mutual exclusion record";
        case StreamReference::prioritization:
            return "a Stream Prioritization record";
        case StreamReference::bandwidth_sharing:
            return "a Bandwidth Sharing record";
        case StreamReference::index_specifier:
            break;
    }
    return "an index specifier";
}

}  // namespace

void check_stream_number(FieldReader& r, std::uint64_t stream, std::int64_t at) {
    if (stream == 0 || stream > kHighestStreamNumber) {
        r.finding(Severity::error, codes::kStreamNumber,
                  message("stream number ", stream, " is outside 1 to 127"), at);
    }
}

void check_stream_reference(FieldReader& r, StreamReference kind, std::uint16_t stream,
                            std::int64_t at) {
    if (stream == 0 || stream > kHighestStreamNumber)
        return;  // reported where it is read
    const Facts& facts = r.facts();
    // Outside a Header Object (a header object misplaced at the top level),
    // what was declared so far is all there is to go by.
    const bool declared =
        facts.plan.known ? facts.plan.streams.test(stream) : facts.streams[stream].declared;
    if (!declared) {
        r.finding(Severity::error, codes::kUndeclaredStream,
                  message(record_name(kind), " names stream ", stream,
                          ", which no Stream Properties Object declares"),
                  at);
    }
}

// Encoders write language index 0 without a Language List for a file of one
// language, and players take it so; an index past a list that is there is
// an error.
void check_language_index(FieldReader& r, std::uint32_t index, std::int64_t at) {
    const HeaderPlan& plan = r.facts().plan;
    if (!plan.known || index < plan.languages || (index == 0 && !plan.language_list))
        return;
    if (plan.language_list) {
        r.finding(Severity::error, codes::kLanguageIndex,
                  message("language index ", index, " is past the Language List's ", plan.languages,
                          " entries"),
                  at);
    } else {
        r.finding(Severity::warning, codes::kLanguageIndex,
                  message("language index ", index,
                          ", but the file has no Language List Object (players ignore it)"),
                  at);
    }
}

EnumNames format_tag_names() {
    return kFormatTags;
}

void check_record_count(FieldReader& r, const Key& key, std::uint64_t count, std::uint64_t least,
                        std::int64_t at) {
    const auto left = static_cast<std::uint64_t>(r.left());
    if (!r.ok() || least == 0 || count <= left / least)
        return;
    r.finding(Severity::error, codes::kRecordCount,
              message(key.label(), " is ", count, ", but the object has ", left,
                      " bytes left, room for at most ", left / least, " of at least ", least,
                      " bytes each"),
              at);
}

void check_leftover(FieldReader& r) {
    if (!r.ok() || r.left() <= 0)
        return;
    const auto left = static_cast<std::uint64_t>(r.left());
    r.finding(Severity::warning, codes::kObjectLeftover,
              message(left, " bytes are left after the last field"));
    r.blob("Remaining Data", left);
}

}  // namespace asfinspect::decode::objects

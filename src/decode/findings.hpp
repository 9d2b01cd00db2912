#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

// The kinds of finding, each with a short code that scripts can rely on
// (doc/findings.md lists them with their meaning).
namespace asfinspect::decode::codes {

// Structure of the object tree.
inline constexpr std::string_view kNotAsf = "not-asf";
inline constexpr std::string_view kFirstObject = "first-object";
inline constexpr std::string_view kMissingObject = "missing-object";
inline constexpr std::string_view kDuplicateObject = "duplicate-object";
inline constexpr std::string_view kObjectSize = "object-size";
inline constexpr std::string_view kPastParent = "past-parent";
inline constexpr std::string_view kTruncatedFile = "truncated-file";
inline constexpr std::string_view kTrailingData = "trailing-data";
inline constexpr std::string_view kTrailingZeros = "trailing-zeros";
inline constexpr std::string_view kStrayBytes = "stray-bytes";
inline constexpr std::string_view kPlacement = "placement";
inline constexpr std::string_view kNesting = "nesting";
inline constexpr std::string_view kHeaderCount = "header-count";
inline constexpr std::string_view kReservedValue = "reserved-value";
inline constexpr std::string_view kTruncatedField = "truncated-field";
inline constexpr std::string_view kObjectLeftover = "object-leftover";
inline constexpr std::string_view kLongText = "long-text";
inline constexpr std::string_view kExtensionSize = "extension-size";
// The header against itself and against the file.
inline constexpr std::string_view kFileSize = "file-size";
inline constexpr std::string_view kPacketCount = "packet-count";
inline constexpr std::string_view kPacketSize = "packet-size";
inline constexpr std::string_view kDataSize = "data-size";
inline constexpr std::string_view kFileId = "file-id";
inline constexpr std::string_view kStreamNumber = "stream-number";
inline constexpr std::string_view kDuplicateStream = "duplicate-stream";
inline constexpr std::string_view kStreamLengths = "stream-lengths";
inline constexpr std::string_view kCbSize = "cb-size";
inline constexpr std::string_view kUndeclaredStream = "undeclared-stream";
inline constexpr std::string_view kLanguageIndex = "language-index";
inline constexpr std::string_view kPlayDuration = "play-duration";
inline constexpr std::string_view kDuration = "duration";
inline constexpr std::string_view kBroadcastPackets = "packets-by-file";
inline constexpr std::string_view kRecordCount = "record-count";
inline constexpr std::string_view kRecordIndex = "record-index";
inline constexpr std::string_view kEntryLength = "entry-length";
inline constexpr std::string_view kValueType = "value-type";
inline constexpr std::string_view kValueLength = "value-length";
// Data packets.
inline constexpr std::string_view kPacketParse = "packet-parse";
inline constexpr std::string_view kPacketFill = "packet-fill";
inline constexpr std::string_view kZeroFill = "zero-fill";
inline constexpr std::string_view kPacketLength = "packet-length";
inline constexpr std::string_view kPayloadStream = "payload-stream";
inline constexpr std::string_view kReplicatedData = "replicated-data";
inline constexpr std::string_view kPayloadExtension = "payload-extension";
inline constexpr std::string_view kMediaObjectGap = "media-object-gap";
inline constexpr std::string_view kMediaObjectOverlap = "media-object-overlap";
inline constexpr std::string_view kMediaObjectSize = "media-object-size";
inline constexpr std::string_view kMediaObjectCut = "media-object-cut";
inline constexpr std::string_view kSendTime = "send-time";
inline constexpr std::string_view kPresentationTime = "presentation-time";
// Delivery when streamed.
inline constexpr std::string_view kLeakyBucket = "leaky-bucket";
inline constexpr std::string_view kLatePayload = "late-payload";
// Indexes.
inline constexpr std::string_view kIndexPastEnd = "index-past-end";
inline constexpr std::string_view kIndexKeyFrame = "index-key-frame";
inline constexpr std::string_view kIndexCoverage = "index-coverage";
inline constexpr std::string_view kIndexOffset = "index-offset";
inline constexpr std::string_view kIndexStream = "index-stream";
inline constexpr std::string_view kIndexMediaObject = "index-media-object";
inline constexpr std::string_view kIndexParameters = "index-parameters";
// The command line.
inline constexpr std::string_view kPacketSelection = "packet-selection";
// Reading the file.
inline constexpr std::string_view kReadError = "read-error";

}  // namespace asfinspect::decode::codes

namespace asfinspect::decode {

// Where a finding stands when findings are shown in file order: by its
// offset, those of one offset in the order met; a read error, after which
// nothing was decoded, last.
inline std::pair<bool, std::int64_t> file_place(std::int64_t offset, std::string_view code) {
    return {code == codes::kReadError, offset};
}

}  // namespace asfinspect::decode

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answers/measures.hpp"
#include "decode/facts.hpp"
#include "decode/finding.hpp"
#include "decode/packets/packet.hpp"
#include "decode/view.hpp"
#include "io/file_reader.hpp"
#include "repair/digest.hpp"
#include "repair/index_builder.hpp"

namespace asfinspect::repair {

// The codes of the changes a repair makes, as findings have theirs.
namespace changes {
inline constexpr std::string_view kCutPacket = "cut-packet";
inline constexpr std::string_view kNoisePacket = "noise-packet";
inline constexpr std::string_view kZeroPackets = "zero-packets";
inline constexpr std::string_view kMediaObject = "partial-media-object";
inline constexpr std::string_view kPacketLengths = "packet-lengths";
inline constexpr std::string_view kFileSize = "file-size";
inline constexpr std::string_view kPacketCount = "packet-count";
inline constexpr std::string_view kDataSize = "data-size";
inline constexpr std::string_view kPlayDuration = "play-duration";
inline constexpr std::string_view kSendDuration = "send-duration";
inline constexpr std::string_view kIndex = "index";
inline constexpr std::string_view kTrailingData = "trailing-data";
inline constexpr std::string_view kHeader = "header";
}  // namespace changes

// One change, as the report shows it: `offset: what: before -> after`.
struct Change {
    std::int64_t offset = 0;
    std::string_view code;
    std::string what;
    std::string before;
    std::string after;
};

// Where the changes go as the plan finds them: the report, or nothing.
class ChangeSink {
  public:
    virtual ~ChangeSink() = default;
    virtual void change(const Change& c) = 0;
};

// Keeps the first change only: what a file read back would still need.
class FirstChange final : public ChangeSink {
  public:
    void change(const Change& c) override {
        if (!seen_)
            first_ = c.what + ": " + c.before + " -> " + c.after;
        seen_ = true;
    }
    const std::string& first() const { return first_; }

  private:
    bool seen_ = false;
    std::string first_;
};

// A top-level object of the file, as the decoder met it.
struct TopObject {
    std::int64_t offset = 0;
    std::int64_t size = 0;
    asf::ObjectType type = asf::ObjectType::unknown;
    bool whole = true;  // the file holds all of it
};

// Packets [first, first + count).
struct PacketRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::uint64_t send_time = 0;  // ms, of the packet before them, which theirs repeat
    std::uint64_t end() const { return first + count; }
};

// What a repair does to each field that describes the whole file; a field
// without a value stays as it is.
struct FieldValues {
    std::optional<std::uint64_t> file_size;
    std::optional<std::uint64_t> packets;  // Data Packets Count and Total Data Packets
    std::optional<std::uint64_t> data_size;
    std::optional<std::uint64_t> play_duration;
    std::optional<std::uint64_t> send_duration;
    std::optional<asf::Guid> data_file_id;  // the Data Object's, set to the header's
};

// Totals of the report.
struct Totals {
    std::uint64_t packets_kept = 0;
    std::uint64_t packets_rewritten = 0;
    std::uint64_t packets_replaced = 0;
    std::uint64_t packets_dropped = 0;
    std::uint64_t objects_kept = 0;
    std::uint64_t objects_dropped = 0;
    std::array<std::uint64_t, decode::kStreamNumbers> dropped_by_stream{};
    std::array<std::uint32_t, decode::kStreamNumbers> first_dropped_time{};  // ms as stored
    std::uint64_t indexes_rebuilt = 0;
    std::uint64_t changes = 0;
};

// What the first pass learns, and what the second writes from. Its memory
// grows with the damage, not with the file: runs of replaced packets, the
// packets rewritten and the payloads removed from them.
struct Plan {
    decode::Facts facts;
    std::vector<TopObject> objects;  // in file order, bounded by kMaxTopObjects
    bool too_many_objects = false;
    std::int64_t file_size = 0;
    // The packets: where they start, their size, and how many are written.
    std::uint64_t packets_read = 0;
    std::uint64_t packets_out = 0;
    std::vector<PacketRun> replaced;
    std::vector<std::uint64_t> rewritten;  // sorted once the packets end
    std::vector<std::int64_t> removed;     // payload offsets, sorted
    // The packets lost their end: durations are measured again.
    bool cut = false;
    std::uint64_t last_send_time = 0;  // ms, of the last packet kept
    // The media objects kept of each stream, measured as the answers do.
    std::array<answers::StreamMeasure, decode::kStreamNumbers> measures{};
    bool index_faults = false;  // the check found the indexes wrong
    std::int64_t header_size = 0;
    bool borrowed_header = false;  // another file's, with its File ID
    FieldValues fields;
    std::vector<SimpleIndexBuilder> simple_indexes;  // one per video stream, by number
    std::optional<IndexObjectBuilder> index_object;  // when the header has Index Parameters
    bool rebuild_indexes = false;
    Digest kept;  // of the whole media objects kept
    Totals totals;
    // The file's own findings.
    std::uint64_t errors = 0;
    std::string first_error;
    bool unreadable = false;  // a read error or not ASF
    std::uint64_t undeclared_payloads = 0;

    bool header_usable() const;
    bool in_range_replaced(std::uint64_t first, std::uint64_t last) const;
    bool nothing_to_do() const { return totals.changes == 0; }
    // Whether a top-level object other than the Header and Data Objects is
    // copied as it is.
    bool keeps(const TopObject& o) const;
    std::int64_t data_size() const;
    std::int64_t out_size() const;
    static std::int64_t simple_index_size(const SimpleIndexBuilder& index);
};

inline constexpr std::size_t kMaxTopObjects = 4096;

// The first pass: a view of the decode that decides, packet by packet, what
// becomes of each packet and media object, and says each change as it is
// found. The decoder's findings come to it too.
class Planner final : public decode::View, public decode::FindingSink {
  public:
    Planner(io::FileReader& file, Plan& plan, ChangeSink& changes);

    bool wants_fields() const override { return false; }
    void begin(const decode::Part& part) override;
    void end(const decode::Part& part) override;
    void packet(const decode::Packet& packet) override;
    void media_object(const decode::MediaObject& object) override;
    void stray_fragment(const decode::Packet& packet, const decode::Payload& payload) override;
    void finding(const decode::Finding& f) override;

  private:
    // A fragment of a media object still open, where its payload lies.
    struct Fragment {
        std::uint32_t number = 0;
        std::uint64_t packet = 0;
        std::int64_t payload = 0;
    };
    // The running digest of an open media object's bytes.
    struct OpenDigest {
        std::uint32_t number = 0;
        std::uint64_t value = 0;
    };
    // What the packet being decoded is, until its findings are in.
    struct Current {
        bool open = false;
        std::uint64_t index = 0;
        std::int64_t offset = 0;
        bool cut = false;      // the file ends inside it
        bool noise = false;    // it can't be read as a packet
        bool zero = false;     // all its bytes are zero
        bool lengths = false;  // its length fields contradict each other
        std::uint64_t send_time = 0;
        std::vector<decode::MediaObject> ended;  // media objects it ends
    };

    std::uint32_t packet_size() const;
    void start_indexes();
    void finish_packet();
    void decide(const decode::MediaObject& m);
    void drop(const decode::MediaObject& m);
    void keep(const decode::MediaObject& m, std::uint64_t value);
    void remove_payload(std::uint64_t packet, std::int64_t payload);
    void mark_rewritten(std::uint64_t packet);
    void replace(std::uint64_t packet, bool zero);
    void close_run(bool at_end = false);
    bool replaced_pending(std::uint64_t first, std::uint64_t last) const;
    void finish_packets();
    void fold_payload(const decode::Packet& packet, const decode::Payload& p);
    std::uint64_t digest_of_bytes(std::int64_t offset, std::uint64_t size);
    void say(std::int64_t offset, std::string_view code, std::string what, std::string before,
             std::string after);

    io::FileReader& file_;
    Plan& plan_;
    ChangeSink& changes_;
    const decode::Facts* facts_ = nullptr;  // the decoder's, while the packets are decoded
    int depth_ = 0;
    Current current_;
    std::uint64_t cut_at_ = ~std::uint64_t{0};  // the packet cut short
    std::uint64_t zero_tail_ =
        ~std::uint64_t{0};  // the first of the zero packets that end the data
    std::uint64_t last_send_time_ = 0;
    // A run of replaced packets not yet said: its first, its count, and
    // whether all of them are zero bytes.
    PacketRun run_;
    bool run_zero_ = false;
    std::array<std::vector<Fragment>, decode::kStreamNumbers> fragments_{};
    std::array<std::vector<OpenDigest>, decode::kStreamNumbers> digests_{};
    std::vector<std::uint8_t> chunk_;
};

// The first pass over `file`: the plan, its changes said to `changes`.
// `measure`: the durations are set from the media objects kept even when no
// packet was lost (the header is another file's).
void plan_repair(io::FileReader& file, Plan& plan, ChangeSink& changes, std::string_view path,
                 bool measure = false);

}  // namespace asfinspect::repair

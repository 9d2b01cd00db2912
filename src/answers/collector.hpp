#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answers/measures.hpp"
#include "answers/model.hpp"
#include "answers/timeline.hpp"
#include "decode/facts.hpp"
#include "decode/finding.hpp"
#include "decode/view.hpp"
#include "io/output.hpp"

namespace asfinspect::answers {

// Builds the answers about a file from the decoder's events, in the pass of
// its decode, and hands them to the view that derives from it when the file
// ends: what the header declared (from the decoder's facts, which stay the
// decoder's), each stream's media objects measured, the findings counted,
// the objects placed. A view that wants the delivery over time asks for
// intervals and gets each as it is complete.
class Collector : public decode::View, public decode::FindingSink {
  public:
    bool wants_fields() const final { return false; }
    bool failed() const override { return out_.failed(); }
    void begin(const decode::Part& part) final;
    void end(const decode::Part& part) final;
    void packet(const decode::Packet& packet) final;
    void media_object(const decode::MediaObject& m) final;
    void packet_sent(const decode::SentPacket& p) final;
    void payload_sent(const decode::SentPayload& p) final;
    void finding(const decode::Finding& f) final;

  protected:
    explicit Collector(io::Output& out);
    ~Collector();

    // The file begins.
    virtual void began(std::string_view /*path*/, std::int64_t /*size*/) {}
    // Whether the view cuts the delivery into intervals: only then are the
    // first packets held until their spacing is known, and interval_ms()
    // asked.
    virtual bool wants_intervals() const { return false; }
    // Once the first packets are read (packet_spacing_ms() is known then): the
    // length in ms of the intervals to cut the delivery into, given the
    // duration the header declares; none by default.
    virtual std::optional<std::uint64_t> interval_ms(std::optional<std::uint64_t> /*duration*/) {
        return std::nullopt;
    }
    // The usual spacing of the packets that carry a stream, ms, of the stream
    // whose packets are furthest apart among those in many of the first
    // packets; 0 when none is.
    std::uint32_t packet_spacing_ms() const { return packet_spacing_; }
    // Each interval, once complete, in order.
    virtual void interval(const Span& /*span*/) {}
    // Media objects presented in an interval given already (sent later than
    // ASF allows), counted in none.
    std::uint64_t unplaced_media_objects() const { return timeline_ ? timeline_->unplaced() : 0; }
    virtual void found(const decode::Finding& /*f*/) {}
    // The file has ended.
    virtual void answered(const FileAnswers& answers) = 0;

    io::Output& out_;

  private:
    // The first packets' events, held until their spacing gives the
    // intervals' length.
    struct Probe;
    static constexpr std::uint64_t kProbePackets = 64;
    static constexpr std::size_t kProbeEvents = 4096;

    void start_packets(const decode::Facts& facts);
    void start_timeline();
    // An event of the delivery, to the probe while it holds them, else to
    // the timeline.
    template <typename Event>
    void to_timeline(const Event& e);
    FileAnswers answer(const decode::FileSummary& summary);
    void measure(FileAnswers& a, const decode::Facts& facts);

    std::string path_;
    std::int64_t size_ = 0;
    int depth_ = 0;  // of objects
    std::vector<PlacedObject> objects_;
    std::uint64_t objects_not_placed_ = 0;
    Verdict verdict_;
    std::vector<ListedFinding> findings_;
    std::uint64_t findings_not_listed_ = 0;

    // The media objects of each stream, and the windows of bytes presented.
    std::uint64_t preroll_ = 0;     // ms
    std::int64_t settle_lead_ = 0;  // ticks before a send time that no later byte reaches
    std::array<StreamMeasure, decode::kStreamNumbers> streams_{};
    std::vector<std::uint8_t> measured_;  // streams with media objects, as met
    std::array<std::unique_ptr<BusiestWindow>, decode::kStreamNumbers> busiest_{};
    BusiestWindow file_busiest_;
    std::uint64_t settle_at_ms_ = 0;  // the send time at which windows settle next
    // Where the delivery ends on the send clock: the last packet's Send Time
    // and Duration.
    std::uint64_t sent_until_ = 0;
    std::optional<Timeline> timeline_;
    std::optional<std::uint64_t> declared_duration_;
    std::uint64_t buffer_ = 0;  // ms, the largest stream buffer
    std::unique_ptr<Probe> probe_;
    std::uint32_t packet_spacing_ = 0;
};

}  // namespace asfinspect::answers

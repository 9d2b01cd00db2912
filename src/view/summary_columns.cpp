#include "view/summary_columns.hpp"

#include "view/format.hpp"

namespace asfinspect::view {

namespace {

Cell number(std::uint64_t v) {
    return {Cell::Kind::number, v, 0, {}};
}
Cell seconds(std::int64_t ticks) {
    return {Cell::Kind::seconds, 0, ticks, {}};
}
Cell text(std::string_view v) {
    return {Cell::Kind::text, 0, 0, v};
}
Cell boolean(bool v) {
    return {Cell::Kind::boolean, v ? 1u : 0u, 0, {}};
}

constexpr IndexName kIndexNames[] = {
    {asf::ObjectType::simple_index, "simple_index", "Simple Index"},
    {asf::ObjectType::index, "index", "Index"},
    {asf::ObjectType::media_object_index, "media_object_index", "Media Object Index"},
    {asf::ObjectType::timecode_index, "timecode_index", "Timecode Index"},
};

}  // namespace

const IndexName& index_name(asf::ObjectType type) {
    for (const IndexName& n : kIndexNames) {
        if (n.type == type)
            return n;
    }
    return kIndexNames[0];
}

Cells stream_cells(const answers::StreamAnswers& s) {
    Cells c{};
    c[kNumber] = number(s.number);
    c[kType] = text(stream_type_name(s.kind));
    if (!s.codec.empty())
        c[kCodec] = text(s.codec);
    if (!s.codec_description.empty())
        c[kCodecDescription] = text(s.codec_description);
    if (s.kind == decode::StreamKind::audio) {
        c[kFormatTag] = number(s.format_tag);
        c[kChannels] = number(s.channels);
        c[kSampleRate] = number(s.sample_rate);
        c[kBitsPerSample] = number(s.bits_per_sample);
    }
    if (s.has_fourcc)
        c[kFourcc] = text(s.fourcc);
    if (s.has_picture_size) {
        c[kWidth] = number(s.width);
        c[kHeight] = number(s.height);
    }
    if (s.language)
        c[kLanguage] = text(s.language->text);
    if (s.name)
        c[kName] = text(s.name->text);
    c[kEncrypted] = boolean(s.encrypted);
    if (s.bitrate_declared)
        c[kBitrateDeclared] = number(*s.bitrate_declared);
    if (s.bucket)
        c[kDataBitrate] = number(s.bucket->bitrate);
    if (!s.measured)
        return c;
    const answers::Measured& m = *s.measured;
    c[kBytes] = number(m.bytes);
    c[kMediaObjects] = number(m.media_objects);
    c[kKeyFrames] = number(m.key_frames);
    if (m.media_objects == 0)
        return c;
    if (m.bitrate)
        c[kBitrateMeasured] = number(*m.bitrate);
    if (m.busiest)
        c[kBitratePeak] = number(*m.busiest);
    if (m.key_frame_interval_max)
        c[kKeyFrameIntervalMax] = seconds(*m.key_frame_interval_max);
    c[kFirstTime] = seconds(m.first);
    c[kLastTime] = seconds(m.last);
    c[kDurationMeasured] = seconds(m.duration);
    return c;
}

}  // namespace asfinspect::view

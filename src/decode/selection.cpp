#include "decode/selection.hpp"

#include <charconv>
#include <limits>

#include "decode/selection.hpp"

namespace asfinspect::decode {

namespace {

// A whole decimal number, nothing before or after it.
std::optional<std::uint64_t> parse_index(std::string_view text) {
    std::uint64_t v = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

}  // namespace

std::optional<std::uint64_t> parse_seconds(std::string_view text) {
    const auto dot = text.find('.');
    const auto whole = parse_index(text.substr(0, dot));
    if (!whole || *whole > kMaxMilliseconds / 1000)
        return std::nullopt;
    std::uint64_t ms = *whole * 1000;
    if (dot != std::string_view::npos) {
        const std::string_view fraction = text.substr(dot + 1);
        if (fraction.empty() || !parse_index(fraction))
            return std::nullopt;
        std::uint64_t scale = 100;
        // Each pass takes one digit of the fraction, down to milliseconds.
        for (std::size_t i = 0; i < fraction.size() && scale != 0; ++i, scale /= 10)
            ms += static_cast<std::uint64_t>(fraction[i] - '0') * scale;
    }
    // Times are shown signed, the preroll taken off: past this they would
    // read as negative.
    if (ms > kMaxMilliseconds)
        return std::nullopt;
    return ms;
}

std::optional<StreamSet> parse_stream_list(std::string_view list) {
    StreamSet streams;
    std::size_t start = 0;
    // Each pass takes one number, up to the next comma or the end.
    for (bool more = true; more;) {
        const auto comma = list.find(',', start);
        more = comma != std::string_view::npos;
        const auto stream =
            parse_index(list.substr(start, more ? comma - start : std::string_view::npos));
        if (!stream || *stream == 0 || *stream >= kStreamNumbers)
            return std::nullopt;
        streams.set(static_cast<std::size_t>(*stream));
        start = comma + 1;
    }
    return streams;
}

std::optional<TimeRange> parse_time_range(std::string_view spec) {
    const auto dash = spec.find('-');
    if (dash == std::string_view::npos || spec.find('-', dash + 1) != std::string_view::npos ||
        spec.size() == 1) {
        return std::nullopt;
    }
    TimeRange range;
    if (dash > 0) {
        const auto first = parse_seconds(spec.substr(0, dash));
        if (!first)
            return std::nullopt;
        range.first = *first;
    }
    if (dash + 1 < spec.size()) {
        const auto last = parse_seconds(spec.substr(dash + 1));
        if (!last || *last < range.first)
            return std::nullopt;
        range.last = *last;
    }
    return range;
}

std::optional<PacketRange> parse_packet_range(std::string_view spec) {
    if (spec == "all")
        return PacketRange::all();
    if (spec == "none")
        return PacketRange::none();
    const auto dash = spec.find('-');
    const auto first = parse_index(spec.substr(0, dash));
    if (!first)
        return std::nullopt;
    if (dash == std::string_view::npos)
        return PacketRange{*first, *first, false};
    const std::string_view rest = spec.substr(dash + 1);
    if (rest.empty())
        return PacketRange{*first, PacketRange::kOpenEnd, false};
    const auto last = parse_index(rest);
    if (!last || *last < *first)
        return std::nullopt;
    return PacketRange{*first, *last, false};
}

}  // namespace asfinspect::decode

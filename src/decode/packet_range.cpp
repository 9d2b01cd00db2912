#include "decode/packet_range.hpp"

#include <charconv>

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

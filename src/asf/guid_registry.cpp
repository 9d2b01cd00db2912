#include "asf/guid_registry.hpp"

#include <algorithm>
#include <bitset>

#include "io/le.hpp"

namespace asfinspect::asf {

const GuidInfo* find_guid(const Guid& guid) {
    const auto* hit = std::find_if(std::begin(kRegistry), std::end(kRegistry),
                                   [&](const GuidInfo& e) { return e.guid == guid; });
    return hit == std::end(kRegistry) ? nullptr : hit;
}

bool may_start_object_guid(std::uint8_t first, std::uint8_t second) {
    static const std::bitset<1 << 16> kStarts = [] {
        std::bitset<1 << 16> starts;
        for (const GuidInfo& e : kRegistry) {
            if (e.placement != Placement::value)
                starts.set(static_cast<std::size_t>(e.guid.bytes[0] | e.guid.bytes[1] << 8));
        }
        return starts;
    }();
    return kStarts.test(static_cast<std::size_t>(first | second << 8));
}

std::string_view guid_name(const Guid& guid) {
    const GuidInfo* info = find_guid(guid);
    return info != nullptr ? info->name : std::string_view{};
}

std::array<char, kRegistryFormLength> registry_form(const Guid& guid) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<char, kRegistryFormLength> text{};
    std::size_t n = 0;
    const auto put = [&](std::uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            text[n++] = kDigits[(v >> (4 * i)) & 0xf];
    };
    const io::Bytes b(guid.bytes);
    put(io::le32(b, 0), 8);
    text[n++] = '-';
    put(io::le16(b, 4), 4);
    text[n++] = '-';
    put(io::le16(b, 6), 4);
    text[n++] = '-';
    for (std::size_t i = 8; i < 16; ++i) {
        if (i == 10)
            text[n++] = '-';
        put(b[i], 2);
    }
    return text;
}

}  // namespace asfinspect::asf

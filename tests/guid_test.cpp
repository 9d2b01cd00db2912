#include <gtest/gtest.h>

#include <string>

#include "asf_writer.hpp"
#include "dump/object_ids.hpp"

using namespace asfinspect::asf;
using namespace asfinspect::dump;
using asfinspect::io::Output;

namespace {

std::string printed(const Guid& g, bool hex = true) {
    auto out = Output::memory();
    if (hex)
        out.hex();
    print_guid(out, g);
    return out.text_so_far();
}

}  // namespace

TEST(Guid, StoredFormHasLittleEndianGroups) {
    const Guid header = kObjectGuids[0].guid;
    const std::array<std::uint8_t, 16> stored{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    EXPECT_EQ(header.bytes, stored);
}

TEST(Guid, EachObjectIsListedByItsNameAndAnAlmostEqualGuidIsUnknown) {
    for (const ObjectGuidEntry& row : kObjectGuids) {
        const std::string listed = asftest::dump(asftest::object_with_size(row.guid, 100));
        EXPECT_TRUE(listed.starts_with("0: " + std::string(row.name) + ", size 76\n")) << listed;
    }
    Guid almost = kObjectGuids[0].guid;
    almost.bytes[15] ^= 1;
    EXPECT_EQ(lookup_guid(almost), ObjectKind::none);
    EXPECT_EQ(lookup_guid(Guid{}), ObjectKind::none);
}

TEST(Guid, PrintsGroupsAndSingleBytesWithoutLeadingZeros) {
    EXPECT_EQ(printed(kObjectGuids[0].guid), "75b22630-668e-11cf-a6d90aa062ce6c");
    EXPECT_EQ(printed(Guid{}), "0-0-0-00000000");
    EXPECT_EQ(printed(kObjectGuids[0].guid, false), "1974609456-26254-4559-1662170170098206108");
}

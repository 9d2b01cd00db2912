#include "asf/walker.hpp"

#include <gtest/gtest.h>

#include "asf_writer.hpp"

using namespace asftest;
using asfinspect::asf::ObjectKind;

namespace {

// The object listing alone: the dump up to the file header report.
std::string listing(const Bytes& file) {
    const std::string all = dump(file);
    return all.substr(0, all.find("Dumping file header: \n"));
}

asfinspect::asf::ScanState scan(const Bytes& file) {
    asfinspect::io::FileReader reader(file);
    auto out = asfinspect::io::Output::memory();
    asfinspect::asf::ScanState state;
    asfinspect::asf::walk_objects(reader, out, state, 0, reader.size(), 0);
    return state;
}

const Guid kUnknown = asfinspect::asf::make_guid(0x75B22633, 0x668E, 0x11CF,
                                                 {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});

}  // namespace

TEST(Walker, ListsHeaderChildrenIndentedWithHexOffsetsAndDecimalSizes) {
    Bytes header_payload;
    put32(header_payload, 2);
    put16(header_payload, 0);
    put(header_payload, file_properties(FileProps{}));
    put(header_payload, object(kUnknown, Bytes(176, 0)));
    Bytes file = object_with_size(guid_of(ObjectKind::header), 5030, header_payload);
    EXPECT_EQ(listing(file),
              "0: header, size 5006\n"
              " 1e: file header, size 80\n"
              " 86: Unknown GUID 75b22633-668e-11cf-a6d90aa062ce6c, size 0x176\n");
}

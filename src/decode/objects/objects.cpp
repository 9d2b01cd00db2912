#include "decode/objects/objects.hpp"

#include "decode/objects/shared.hpp"

namespace asfinspect::decode::objects {

std::span<const std::span<const LayoutRow>> layout_families() {
    static const std::span<const LayoutRow> kFamilies[] = {
        header_layouts(),    stream_layouts(), description_layouts(),
        exclusion_layouts(), index_layouts(),
    };
    return kFamilies;
}

ObjectLayout layout_of(asf::ObjectType type) {
    for (const std::span<const LayoutRow> family : layout_families()) {
        for (const LayoutRow& row : family) {
            if (row.type == type)
                return row.layout;
        }
    }
    return nullptr;
}

}  // namespace asfinspect::decode::objects

#include "asf/payload_extensions.hpp"

#include "asf/guid_registry.hpp"

namespace asfinspect::asf {

namespace {

struct KnownSystem {
    Guid system;
    ExtensionContent content;
};

constexpr KnownSystem kKnownSystems[] = {
    {registry_guid("C6BD9450-867F-4907-83A3-C77921B733AD"), ExtensionContent::sample_duration},
    {registry_guid("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8"), ExtensionContent::pixel_aspect_ratio},
    {registry_guid("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC"), ExtensionContent::content_type},
    {registry_guid("FD3CC02A-06DB-4CFA-801C-7212D38745E4"), ExtensionContent::dvr_ms_timing},
};

}  // namespace

ExtensionContent extension_content(const Guid& system) {
    for (const KnownSystem& known : kKnownSystems) {
        if (known.system == system)
            return known.content;
    }
    return ExtensionContent::bytes;
}

}  // namespace asfinspect::asf

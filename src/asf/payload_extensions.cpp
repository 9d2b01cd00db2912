#include "asf/payload_extensions.hpp"

#include "asf/guid_registry.hpp"

namespace asfinspect::asf {

ExtensionContent extension_content(const Guid& system) {
    const std::string_view name = guid_name(system);
    if (name == "ASF_Payload_Extension_System_Sample_Duration")
        return ExtensionContent::sample_duration;
    if (name == "ASF_Payload_Extension_System_Pixel_Aspect_Ratio")
        return ExtensionContent::pixel_aspect_ratio;
    if (name == "ASF_Payload_Extension_System_Content_Type")
        return ExtensionContent::content_type;
    if (name == "DVR_MS_Payload_Extension_System_Timing")
        return ExtensionContent::dvr_ms_timing;
    return ExtensionContent::bytes;
}

}  // namespace asfinspect::asf

// Look-up in the build-time resource table.
#include "platform/resources.h"

std::span<const std::uint8_t> EmbeddedResources::resource(ResourceType type, int id) const {
    for (const EmbeddedResource& r : embeddedResources()) {
        if (r.type == type && r.id == id) {
            return r.bytes;
        }
    }
    return {};
}

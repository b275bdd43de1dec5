// Look-up in the build-time resource table.
#include "platform/embedded_resources.h"

std::span<const std::uint8_t> findEmbeddedResource(ResourceType type, int id) {
    for (const EmbeddedResource& r : embeddedResources()) {
        if (r.type == type && r.id == id) {
            return r.bytes;
        }
    }
    return {};
}

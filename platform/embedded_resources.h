// The resources compiled into the program on platforms without a resource section: a
// table generated at build time from the files of the resources folder.
#pragma once

#include "platform/platform.h"

struct EmbeddedResource {
    ResourceType type;
    int id;
    std::span<const std::uint8_t> bytes;
};

std::span<const EmbeddedResource> embeddedResources();

// The bytes of (type, id) in the embedded table; empty when absent.
std::span<const std::uint8_t> findEmbeddedResource(ResourceType type, int id);

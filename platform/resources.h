// The program's resources (pictures, palette, sounds) by type and id. On Windows they sit in
// the program's resource section; elsewhere they are compiled in as a table generated at
// build time (EmbeddedResources), which every system can use without a backend.
#pragma once

#include <cstdint>
#include <span>

enum class ResourceType { RcData, Bitmap, Wave };

class Resources {
  public:
    virtual ~Resources() = default;
    // The bytes of resource (type, id); empty when there is none. They live as long as
    // the Resources.
    virtual std::span<const std::uint8_t> resource(ResourceType type, int id) const = 0;
};

// The table compiled into the program.
class EmbeddedResources : public Resources {
  public:
    std::span<const std::uint8_t> resource(ResourceType type, int id) const override;
};

struct EmbeddedResource {
    ResourceType type;
    int id;
    std::span<const std::uint8_t> bytes;
};

// The generated table.
std::span<const EmbeddedResource> embeddedResources();

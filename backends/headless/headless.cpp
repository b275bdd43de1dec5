// The headless platform backend; see headless.h.
#include "backends/headless/headless.h"

#include "platform/little_endian.h"

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <unistd.h>
#endif

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

void HeadlessPlatform::setKeyDown(Key key, bool down) {
    down_[static_cast<int>(key)] = down;
    if (down) {
        latched_[static_cast<int>(key)] = true;
    }
}

void HeadlessPlatform::tap(Key key) {
    latched_[static_cast<int>(key)] = true;
}

void HeadlessPlatform::setResource(ResourceType type, int id, std::vector<std::uint8_t> bytes) {
    hidden_.erase({type, id});
    resources_[{type, id}] = std::move(bytes);
}

void HeadlessPlatform::hideResource(ResourceType type, int id) {
    resources_.erase({type, id});
    hidden_[{type, id}] = true;
}

void HeadlessPlatform::addLibrary(const std::string& name, std::map<std::string, void*> functions) {
    libraries_[name] = std::move(functions);
}

Millis HeadlessPlatform::now() {
    ++clockReads;
    return clock_;
}

void HeadlessPlatform::pause(Millis ms) {
    ++pauses;
    clock_ += std::max<Millis>(ms, 1);
}

std::int64_t HeadlessPlatform::calendarSeconds() {
    ++calendarReads;
    if (onCalendarSeconds) {
        return onCalendarSeconds();
    }
    const int perSecond = std::max(calendarReadsPerSecond, 1);
    return calendarStart + (calendarReads - 1) / perSecond;
}

bool HeadlessPlatform::keyPressed(Key key) {
    const int k = static_cast<int>(key);
    const bool pressed = down_[k] || latched_[k];
    latched_[k] = false;
    return pressed;
}

Millis HeadlessPlatform::soundLength(int id) const {
    // A RIFF/WAVE file: the "fmt " chunk gives the bytes per second, "data" the length.
    std::span<const std::uint8_t> wav = resource(ResourceType::Wave, id);
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
        std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
        return 0;
    }
    std::uint32_t bytesPerSecond = 0, dataBytes = 0;
    std::size_t at = 12;
    while (at + 8 <= wav.size()) {
        const std::uint32_t size = readLe32(wav.data() + at + 4);
        if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && at + 20 <= wav.size()) {
            bytesPerSecond = readLe32(wav.data() + at + 8 + 8);
        } else if (std::memcmp(wav.data() + at, "data", 4) == 0) {
            dataBytes =
                static_cast<std::uint32_t>(std::min<std::size_t>(size, wav.size() - (at + 8)));
        }
        if (size > wav.size() - (at + 8)) {
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (bytesPerSecond == 0) {
        return 0;
    }
    return static_cast<Millis>(std::uint64_t(dataBytes) * 1000 / bytesPerSecond);
}

void HeadlessPlatform::playSound(int id, SoundMode mode) {
    sounds.push_back({id, mode, clock_});
    if (mode == SoundMode::Sync) {
        clock_ += soundLength(id);
    }
}

std::span<const std::uint8_t> HeadlessPlatform::resource(ResourceType type, int id) const {
    if (auto it = resources_.find({type, id}); it != resources_.end()) {
        return it->second;
    }
    if (hidden_.count({type, id}) != 0) {
        return {};
    }
    return EmbeddedResources().resource(type, id);
}

std::uint8_t* HeadlessPlatform::createFrame(int width, int height, int pitch,
                                            const Palette& palette) {
    (void)width;
    framePalette = palette;
    ++framesAlive;
    return new std::uint8_t[static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height)]();
}

void HeadlessPlatform::releaseFrame(std::uint8_t* pixels) {
    if (pixels != nullptr) {
        --framesAlive;
    }
    delete[] pixels;
}

void HeadlessPlatform::presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) {
    ++presentCount;
    lastFrameWidth = width;
    lastFrameHeight = height;
    lastFrame.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        std::memcpy(lastFrame.data() + static_cast<std::size_t>(y) * width,
                    pixels + static_cast<std::size_t>(y) * pitch, static_cast<std::size_t>(width));
    }
}

void HeadlessPlatform::realisePalette(const Palette& palette) {
    ++realiseCount;
    realisedPalette = palette;
}

void HeadlessPlatform::openUrl(const std::string& url) {
    urls.push_back(url);
}

void* HeadlessPlatform::loadLibrary(const std::string& name) {
    auto it = libraries_.find(name);
    return it == libraries_.end() ? nullptr : &it->second;
}

void* HeadlessPlatform::findFunction(void* library, const std::string& name) {
    if (library == nullptr) {
        return nullptr;
    }
    auto& functions = *static_cast<std::map<std::string, void*>*>(library);
    auto it = functions.find(name);
    return it == functions.end() ? nullptr : it->second;
}

int HeadlessPlatform::pumpMessage(WindowEvents& events) {
    if (quitPosted) {
        return 0;
    }
    return onPumpMessage ? onPumpMessage(events) : 1;
}

void HeadlessPlatform::postQuit(int code) {
    quitPosted = true;
    exitCode = code;
}

void HeadlessPlatform::runDialog(int templateId, DialogLogic& logic) {
    if (onRunDialog) {
        onRunDialog(templateId, logic);
        return;
    }
    RecordingDialogView view;
    logic.init(view);
}

void HeadlessPlatform::runResponsive(const std::function<void()>& work) {
    if (onRunResponsive) {
        onRunResponsive(work);
    } else {
        work();
    }
}

std::string runningProgramPath() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
#elif defined(__linux__)
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    return n > 0 && static_cast<std::size_t>(n) < sizeof path
               ? std::string(path, static_cast<std::size_t>(n))
               : std::string();
#else
    return {};
#endif
}

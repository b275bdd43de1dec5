// The SDL2 backend: window, picture, menu bar, keys, clock, messages; see sdl_platform.h.
//
// The picture is drawn when the game presents a frame; the menu bar is drawn with it. The
// menu's choices are collected while it is drawn (inside a frame) and handed to the shell
// later, one per pumpMessage, because no window message may be handled inside a frame.
// When the game draws nothing for a while (a frame buffer that never came, a game running
// behind), pumpMessage draws the window itself so the menu still answers.
#include "platform/sdl/sdl_platform.h"

#include "app/shell_resources.h"
#include "platform/embedded_resources.h"
#include "platform/latin1.h"
#include "platform/posix/posix.h"
#include "platform/sdl/classic_look.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/ui_font.h"

#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <ctime>

namespace {

constexpr float fontPixels = 12.0f;
// Without a game frame for this long, pumpMessage draws the window itself.
constexpr Uint32 idleRedrawMs = 100;
// keyPressed reads fresh events from the display at most this often.
constexpr Uint32 keyRefreshMs = 4;
// pause(0): a fraction of a millisecond.
constexpr long shortPauseNs = 200'000;

constexpr std::array<std::pair<Key, SDL_Scancode>, KeyLatch::keyCount> keyScancodes = {{
    {Key::Left, SDL_SCANCODE_LEFT},
    {Key::Right, SDL_SCANCODE_RIGHT},
    {Key::Up, SDL_SCANCODE_UP},
    {Key::Down, SDL_SCANCODE_DOWN},
    {Key::F1, SDL_SCANCODE_F1},
}};

#ifdef PINGEL_FRAME_LOG
// A build for measuring: one line per drawn game frame, "frame <monotonic ns> <realtime
// ns>", on the standard error.
void logFrame() {
    timespec mono{}, real{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    std::fprintf(stderr, "frame %lld %lld\n",
                 static_cast<long long>(mono.tv_sec) * 1'000'000'000LL + mono.tv_nsec,
                 static_cast<long long>(real.tv_sec) * 1'000'000'000LL + real.tv_nsec);
}
#endif

} // namespace

SdlPlatform::SdlPlatform() {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        error = SDL_GetError();
        return;
    }
    window_ = SDL_CreateWindow("Pingel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                               pictureWidth, menuBarHeight + pictureHeight, 0);
    if (window_ == nullptr) {
        error = SDL_GetError();
        return;
    }
    // The window is small and drawn 25 times a second: SDL's own software renderer into
    // the window's native framebuffer does it in well under a millisecond, without a
    // graphics driver (a software OpenGL behind it would cost several times as much).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Renderer* renderer = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        error = SDL_GetError();
        return;
    }
    picture_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                 pictureWidth, pictureHeight);
    if (picture_ == nullptr) {
        error = SDL_GetError();
        SDL_DestroyRenderer(renderer);
        return;
    }
    renderer_ = renderer;
    quitEvent_ = SDL_RegisterEvents(1);
    // The mouse position is read when the menu is drawn; the motion events themselves
    // would only fill the queue, which is emptied one message per frame.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_StopTextInput();
    SDL_AddEventWatch(&SdlPlatform::watchEvents, this);

    for (const shell::MenuItem& item : shell::menu) {
        menuCaptions_.push_back(latin1ToUtf8(item.caption));
        popupCaptions_.push_back(latin1ToUtf8(item.popup));
    }

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr; // nothing is written to disk
    io.LogFilename = nullptr;
    const std::span<const unsigned char> font = uiFontData();
    ImFontConfig config;
    config.FontDataOwnedByAtlas = false;
    config.OversampleH = 1;
    config.PixelSnapH = true;
    io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(font.data()),
                                   static_cast<int>(font.size()), fontPixels, &config,
                                   io.Fonts->GetGlyphRangesDefault());
    classic::applyStyle(ImGui::GetStyle(), fontPixels, static_cast<float>(menuBarHeight));
    ImGui_ImplSDL2_InitForSDLRenderer(window_);
    ImGui_ImplSDLRenderer_Init(renderer_);
    imguiReady_ = true;

    audio_ = std::make_unique<SdlAudio>();
    renderWindow(nullptr); // the menu bar and a black picture until the game draws
}

SdlPlatform::~SdlPlatform() {
    audio_.reset();
    if (imguiReady_) {
        ImGui_ImplSDLRenderer_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
    }
    SDL_DelEventWatch(&SdlPlatform::watchEvents, this);
    if (picture_ != nullptr) {
        SDL_DestroyTexture(picture_);
    }
    if (renderer_ != nullptr) {
        SDL_DestroyRenderer(renderer_);
    }
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
    }
    posix::reapChildren();
    SDL_Quit();
}

int SdlPlatform::watchEvents(void* self, SDL_Event* event) {
    if (event->type == SDL_KEYDOWN) {
        for (const auto& [key, scancode] : keyScancodes) {
            if (event->key.keysym.scancode == scancode) {
                static_cast<SdlPlatform*>(self)->keys_.press(key);
            }
        }
    }
    return 1;
}

// --- clock, keys, sounds, resources ---

Millis SdlPlatform::now() {
    return SDL_GetTicks();
}

void SdlPlatform::pause(Millis ms) {
    if (ms > 0) {
        SDL_Delay(ms);
        return;
    }
    timespec wait{0, shortPauseNs};
    nanosleep(&wait, nullptr);
}

bool SdlPlatform::keyPressed(Key key) {
    // The state SDL keeps is as fresh as the last read of the display's events.
    const Uint32 t = SDL_GetTicks();
    if (t - lastPump_ >= keyRefreshMs) {
        lastPump_ = t;
        SDL_PumpEvents();
    }
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    return keys_.query(key, state[keyScancodes[static_cast<std::size_t>(key)].second] != 0);
}

void SdlPlatform::playSound(int id, SoundMode mode) {
    audio_->play(id, resource(ResourceType::Wave, id), mode == SoundMode::Sync);
}

std::span<const std::uint8_t> SdlPlatform::resource(ResourceType type, int id) {
    return findEmbeddedResource(type, id);
}

// --- the picture ---

std::uint8_t* SdlPlatform::createFrame(int width, int height, int pitch, const Palette& palette) {
    if (width <= 0 || height <= 0 || pitch < width) {
        return nullptr;
    }
    realisePalette(palette);
    return new std::uint8_t[static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height)]();
}

void SdlPlatform::releaseFrame(std::uint8_t* pixels) {
    delete[] pixels;
}

void SdlPlatform::realisePalette(const Palette& palette) {
    for (std::size_t i = 0; i < palette.size(); ++i) {
        colours_[i] = 0xFF000000u | Uint32(palette[i].red) << 16 | Uint32(palette[i].green) << 8 |
                      Uint32(palette[i].blue);
    }
}

void SdlPlatform::presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) {
    if (pixels == nullptr || renderer_ == nullptr) {
        return;
    }
    void* target = nullptr;
    int targetPitch = 0;
    if (SDL_LockTexture(picture_, nullptr, &target, &targetPitch) != 0) {
        return;
    }
    const int w = std::min(width, pictureWidth);
    const int h = std::min(height, pictureHeight);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
        auto* to = reinterpret_cast<Uint32*>(static_cast<std::uint8_t*>(target) +
                                             static_cast<std::ptrdiff_t>(y) * targetPitch);
        for (int x = 0; x < w; ++x) {
            to[x] = colours_[from[x]];
        }
    }
    SDL_UnlockTexture(picture_);
    hasPicture_ = true;
    // An open dialog draws the window in its own loop, with the new picture behind it.
    if (!inDialog_) {
        renderWindow(nullptr);
#ifdef PINGEL_FRAME_LOG
        logFrame();
#endif
    }
}

void SdlPlatform::renderWindow(const std::function<void()>& overlay) {
    if (renderer_ == nullptr) {
        return;
    }
    ImGui_ImplSDLRenderer_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    // The pointer as SDL last saw it over the window: the toolkit's own reading of the
    // screen-wide pointer position can lag behind on X11.
    int mouseX = 0, mouseY = 0;
    SDL_GetMouseState(&mouseX, &mouseY);
    ImGui::GetIO().MousePos = SDL_GetMouseFocus() == window_
                                  ? ImVec2(static_cast<float>(mouseX), static_cast<float>(mouseY))
                                  : ImVec2(-FLT_MAX, -FLT_MAX);
    ImGui::NewFrame();
    drawMenuBar(!inDialog_);
    if (overlay) {
        overlay();
    }
    ImGui::Render();
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (hasPicture_) {
        const SDL_Rect where{0, menuBarHeight, pictureWidth, pictureHeight};
        SDL_RenderCopy(renderer_, picture_, nullptr, &where);
    }
    ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
    SDL_RenderPresent(renderer_);
    lastRender_ = SDL_GetTicks();
}

void SdlPlatform::drawMenuBar(bool enabled) {
    if (!ImGui::BeginMainMenuBar()) {
        return;
    }
    bool open = false;
    for (std::size_t i = 0; i < shell::menu.size(); ++i) {
        if (i == 0 || shell::menu[i].popup != shell::menu[i - 1].popup) {
            if (open) {
                ImGui::EndMenu();
            }
            open = ImGui::BeginMenu(popupCaptions_[i].c_str(), enabled);
        }
        if (open && ImGui::MenuItem(menuCaptions_[i].c_str())) {
            pendingCommands_.push_back(shell::menu[i].id);
        }
    }
    if (open) {
        ImGui::EndMenu();
    }
    ImGui::EndMainMenuBar();
}

// --- messages ---

int SdlPlatform::pumpMessage(WindowEvents& events) {
    posix::reapChildren();
    if (!pendingCommands_.empty()) {
        const int id = pendingCommands_.front();
        pendingCommands_.pop_front();
        events.menuCommand(id);
        return 1;
    }
    if (closeDeferred_) {
        closeDeferred_ = false;
        windowGoesAway(events);
        return 1;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == quitEvent_) {
            return 0;
        }
        // Repeats of a held key say nothing the keyboard state does not; like the system's
        // own coalescing of repeats they do not count as messages.
        if ((event.type == SDL_KEYDOWN && event.key.repeat != 0)) {
            continue;
        }
        handleEvent(event, events);
        break;
    }
    if (quitFallback_) {
        return 0;
    }
    if (SDL_GetTicks() - lastRender_ >= idleRedrawMs) {
        renderWindow(nullptr);
    }
    return 1;
}

void SdlPlatform::handleEvent(const SDL_Event& event, WindowEvents& events) {
    ImGui_ImplSDL2_ProcessEvent(&event);
    switch (event.type) {
    case SDL_QUIT: // the window manager, or an interrupt from the terminal
        windowGoesAway(events);
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            windowGoesAway(events);
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            events.paletteRegained();
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            renderWindow(nullptr);
        }
        break;
    case SDL_KEYDOWN:
        // Alt-F4 closes the window also where no window manager does it.
        if (event.key.keysym.sym == SDLK_F4 && (event.key.keysym.mod & KMOD_ALT) != 0) {
            windowGoesAway(events);
        }
        break;
    default:
        break;
    }
}

void SdlPlatform::windowGoesAway(WindowEvents& events) {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    events.windowDestroyed();
}

void SdlPlatform::postQuit(int exitCode) {
    SDL_Event event{};
    event.type = quitEvent_;
    event.user.code = exitCode;
    if (quitEvent_ == static_cast<Uint32>(-1) || SDL_PushEvent(&event) != 1) {
        quitFallback_ = true;
    }
}

// --- the rest of the seam ---

void SdlPlatform::openUrl(const std::string& url) {
    posix::reapChildren();
    posix::launch("xdg-open", url);
}

std::string SdlPlatform::ownExecutablePath() {
    return posix::ownExecutablePath();
}

int SdlPlatform::processorType() {
    return posix::processorType();
}

void* SdlPlatform::loadLibrary(const std::string& name) {
    return posix::loadLibrary(name);
}

void* SdlPlatform::findFunction(void* library, const std::string& name) {
    return posix::findFunction(library, name);
}

void SdlPlatform::debugText(const char* text) {
    std::fputs(text, stderr);
}

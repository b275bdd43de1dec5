// The SDL2 backend: window, picture, menu bar, keys, clock, messages; see sdl_platform.h.
//
// The picture is drawn when the game presents a frame; the menu bar is drawn with it. The
// menu's choices are collected while it is drawn (inside a frame) and handed to the shell
// later, one per pumpMessage, because no window message may be handled inside a frame.
// When the game draws nothing for a while (a frame buffer that never came, a game running
// behind), pumpMessage draws the window itself so the menu still answers.
//
// Every drawing goes to the canvas, a surface the size of the unzoomed window, which is
// then copied to the window at the zoom's scale (nearest neighbour, so each pixel becomes
// a square block) and centred on black; the pointer is mapped back onto the canvas.
// The sound device is opened, controllers are listened to and the screen saver is kept away
// only once the first picture is up (or a sound is wanted before): together they take
// longer than everything else before that picture.
#include "backends/sdl/sdl_platform.h"

#include "app/shell_resources.h"
#include "backends/posix/posix.h"
#include "backends/sdl/classic_look.h"
#include "backends/sdl/sdl_audio.h"
#include "backends/sdl/ui_font.h"
#include "platform/latin1.h"

#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr float fontPixels = 12.0f;
// Without a game frame for this long, pumpMessage draws the window itself.
constexpr Uint32 idleRedrawMs = 100;
// keyPressed reads fresh events from the display at most this often.
constexpr Uint32 keyRefreshMs = 4;
// pause(0): a fraction of a millisecond.
constexpr long shortPauseNs = 200'000;
// Before the window is mapped its frame is not known: room for a usual one.
constexpr zoom::Size assumedFrame{16, 48};
// The largest zoom anyone may ask for.
constexpr int largestScale = 16;
// After the window changed, the black margins are painted this many times (the window's
// picture may be replaced once more as the change settles).
constexpr int marginRepaints = 3;
constexpr zoom::Size canvasSize{SdlPlatform::canvasWidth, SdlPlatform::canvasHeight};

constexpr std::array<std::pair<Key, SDL_Scancode>, KeyLatch::keyCount> keyScancodes = {{
    {Key::Left, SDL_SCANCODE_LEFT},
    {Key::Right, SDL_SCANCODE_RIGHT},
    {Key::Up, SDL_SCANCODE_UP},
    {Key::Down, SDL_SCANCODE_DOWN},
    {Key::F1, SDL_SCANCODE_F1},
}};

#ifdef PINGEL_FRAME_LOG
// A build for measuring: one line per drawn game frame, "frame <monotonic ns> <realtime
// ns>", on the standard error; "window ..." for the first drawing of the window.
void logFrame(const char* what = "frame") {
    timespec mono{}, real{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    std::fprintf(stderr, "%s %lld %lld\n", what,
                 static_cast<long long>(mono.tv_sec) * 1'000'000'000LL + mono.tv_nsec,
                 static_cast<long long>(real.tv_sec) * 1'000'000'000LL + real.tv_nsec);
}
#endif

// Copies rows [top, bottom) of `from` into `to` at placement's scale, each pixel a square
// block. Rows are widened once and then copied whole; a framebuffer in another pixel
// layout is left to SDL.
void enlarge(SDL_Surface* from, SDL_Surface* to, const zoom::Placement& at, int top, int bottom) {
    const int s = at.scale;
    const SDL_Rect shown{at.x, at.y, from->w * s, from->h * s};
    const SDL_PixelFormat* f = from->format;
    const SDL_PixelFormat* t = to->format;
    if (t->BytesPerPixel != 4 || t->Rmask != f->Rmask || t->Gmask != f->Gmask ||
        t->Bmask != f->Bmask || shown.x + shown.w > to->w || shown.y + shown.h > to->h) {
        SDL_Rect source{0, top, from->w, bottom - top};
        SDL_Rect target{shown.x, shown.y + top * s, shown.w, (bottom - top) * s};
        SDL_BlitScaled(from, &source, to, &target);
        return;
    }
    if (SDL_LockSurface(to) != 0) {
        return;
    }
    auto row = [](SDL_Surface* surface, int y) {
        return reinterpret_cast<Uint32*>(static_cast<Uint8*>(surface->pixels) +
                                         static_cast<std::ptrdiff_t>(y) * surface->pitch);
    };
    const std::size_t rowBytes = static_cast<std::size_t>(shown.w) * sizeof(Uint32);
    for (int y = top; y < bottom; ++y) {
        const Uint32* source = row(from, y);
        Uint32* first = row(to, shown.y + y * s) + shown.x;
        if (s == 1) {
            std::memcpy(first, source, rowBytes);
            continue;
        }
        Uint32* out = first;
        for (int x = 0; x < from->w; ++x) {
            out = std::fill_n(out, s, source[x]);
        }
        for (int k = 1; k < s; ++k) {
            std::memcpy(row(to, shown.y + y * s + k) + shown.x, first, rowBytes);
        }
    }
    SDL_UnlockSurface(to);
}

} // namespace

SdlPlatform::SdlPlatform(const Options& options) : fullscreen_(options.fullscreen) {
    // Keeping the screen saver away asks the desktop bus and waits for its answer: that
    // waits until the first picture is up (startSlowParts).
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        error = SDL_GetError();
        return;
    }
    autoScale_ = options.scale <= 0;
    windowScale_ = autoScale_ ? fittingWindowScale() : std::min(options.scale, largestScale);
    SDL_Rect place{SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, canvasWidth * windowScale_,
                   canvasHeight * windowScale_};
    if (fullscreen_) {
        // Made as large as the screen, as toggleFullscreen makes it; back in a window it
        // is centred.
        windowedX_ = windowedY_ = SDL_WINDOWPOS_CENTERED;
        SDL_GetDisplayBounds(0, &place);
    }
    window_ = SDL_CreateWindow("Pingel", place.x, place.y, place.w, place.h,
                               fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (window_ == nullptr) {
        error = SDL_GetError();
        return;
    }
    // The window is small and drawn 25 times a second: SDL's own software renderer onto
    // the canvas, enlarged into the window's native framebuffer, does it in about a
    // millisecond, without a graphics driver (a software OpenGL behind it would cost
    // several times as much).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    canvas_ =
        SDL_CreateRGBSurfaceWithFormat(0, canvasWidth, canvasHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer* renderer = canvas_ != nullptr ? SDL_CreateSoftwareRenderer(canvas_) : nullptr;
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
    SDL_SetSurfaceBlendMode(canvas_, SDL_BLENDMODE_NONE);
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

    renderWindow(nullptr); // the menu bar and a black picture until the game draws
#ifdef PINGEL_FRAME_LOG
    logFrame("window");
#endif
}

SdlPlatform::~SdlPlatform() {
    audio_.reset();
    for (SDL_GameController* c : controllers_) {
        SDL_GameControllerClose(c);
    }
    if (imguiReady_) {
        ImGui_ImplSDLRenderer_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
    }
    SDL_DelEventWatch(&SdlPlatform::watchEvents, this);
    if (picture_ != nullptr) {
        SDL_DestroyTexture(picture_);
    }
    if (canvas_ != nullptr) {
        SDL_FreeSurface(canvas_);
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
    auto* sdl = static_cast<SdlPlatform*>(self);
    if (event->type == SDL_KEYDOWN) {
        for (const auto& [key, scancode] : keyScancodes) {
            if (event->key.keysym.scancode == scancode) {
                sdl->keys_.press(key);
            }
        }
    }
    sdl->pad_.follow(*event, sdl->keys_);
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
    return keys_.query(key, state[keyScancodes[static_cast<std::size_t>(key)].second] != 0 ||
                                pad_.held(key));
}

void SdlPlatform::playSound(int id, SoundMode mode) {
    startSlowParts();
    audio_->play(id, resource(ResourceType::Wave, id), mode == SoundMode::Sync);
}

std::span<const std::uint8_t> SdlPlatform::resource(ResourceType type, int id) const {
    return EmbeddedResources().resource(type, id);
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
    SDL_Surface* screen = SDL_GetWindowSurface(window_);
    if (screen == nullptr) {
        return;
    }
    const zoom::Size output{screen->w, screen->h};
    const int wanted = !fullscreen_           ? windowScale_
                       : fullscreenScale_ > 0 ? fullscreenScale_
                                              : largestScale;
    const zoom::Placement placement = zoom::place(canvasSize, output, wanted);
    if (placement != placement_ || output.width != output_.width ||
        output.height != output_.height) {
        marginsDue_ = marginRepaints;
        showAll_ = true;
    }
    placement_ = placement;
    output_ = output;

    ImGui_ImplSDLRenderer_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(static_cast<float>(canvasWidth), static_cast<float>(canvasHeight));
    io.DisplayFramebufferScale = ImVec2(1, 1);
    // The pointer as SDL last saw it over the window, on the canvas: the toolkit's own
    // reading of the screen-wide pointer position can lag behind on X11.
    int mouseX = 0, mouseY = 0;
    SDL_GetMouseState(&mouseX, &mouseY);
    io.MousePos =
        SDL_GetMouseFocus() == window_
            ? ImVec2(static_cast<float>(zoom::toCanvas(mouseX, placement_.x, placement_.scale)),
                     static_cast<float>(zoom::toCanvas(mouseY, placement_.y, placement_.scale)))
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
    SDL_RenderFlush(renderer_);

    const SDL_Rect shown{placement_.x, placement_.y, canvasWidth * placement_.scale,
                         canvasHeight * placement_.scale};
    const bool margins = marginsDue_ > 0 && (shown.w < output.width || shown.h < output.height);
    if (margins) {
        // Black around the canvas: the four bands only, and only after the window changed
        // (the window's picture keeps them otherwise): not the whole screen every frame.
        --marginsDue_;
        const int right = shown.x + shown.w, bottom = shown.y + shown.h;
        const std::array<SDL_Rect, 4> bands = {{
            {0, 0, output.width, shown.y},
            {0, bottom, output.width, output.height - bottom},
            {0, shown.y, shown.x, shown.h},
            {right, shown.y, output.width - right, shown.h},
        }};
        SDL_FillRects(screen, bands.data(), static_cast<int>(bands.size()),
                      SDL_MapRGB(screen->format, 0, 0, 0));
    }
    showCanvas(screen, margins);
    lastRender_ = SDL_GetTicks();
}

void SdlPlatform::showCanvas(SDL_Surface* screen, bool margins) {
    // Only the canvas rows that differ from those last shown are enlarged and sent to the
    // display: most of the picture stands still from frame to frame. Anything that may
    // have replaced the window's picture sends all of it.
    const int s = placement_.scale;
    const SDL_Rect shown{placement_.x, placement_.y, canvasWidth * s, canvasHeight * s};
    const std::size_t rowPixels = canvasWidth;
    const bool all = margins || showAll_ || screen != lastScreen_ ||
                     screen->pixels != lastScreenPixels_ ||
                     shownCanvas_.size() != rowPixels * canvasHeight;
    showAll_ = false;
    lastScreen_ = screen;
    lastScreenPixels_ = screen->pixels;
    shownCanvas_.resize(rowPixels * canvasHeight);
    std::vector<SDL_Rect> changed;
    for (int y = 0; y < canvasHeight;) {
        auto same = [&](int row) {
            const auto* now = reinterpret_cast<const Uint32*>(
                static_cast<const Uint8*>(canvas_->pixels) + std::ptrdiff_t(row) * canvas_->pitch);
            Uint32* before = &shownCanvas_[std::size_t(row) * rowPixels];
            if (!all && std::memcmp(now, before, rowPixels * sizeof(Uint32)) == 0) {
                return true;
            }
            std::memcpy(before, now, rowPixels * sizeof(Uint32));
            return false;
        };
        if (same(y)) {
            ++y;
            continue;
        }
        const int top = y;
        while (++y < canvasHeight && !same(y)) {
        }
        enlarge(canvas_, screen, placement_, top, y);
        changed.push_back({shown.x, shown.y + top * s, shown.w, (y - top) * s});
    }
    if (margins) {
        SDL_UpdateWindowSurface(window_);
    } else if (!changed.empty()) {
        SDL_UpdateWindowSurfaceRects(window_, changed.data(), static_cast<int>(changed.size()));
    }
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
    if (hasPicture_) {
        startSlowParts();
    }
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
        // A controller's buttons and stick were followed as they were queued; only its
        // coming and going is news here.
        if (event.type == SDL_CONTROLLERBUTTONDOWN || event.type == SDL_CONTROLLERBUTTONUP ||
            event.type == SDL_CONTROLLERAXISMOTION || event.type == SDL_JOYAXISMOTION ||
            event.type == SDL_JOYBUTTONDOWN || event.type == SDL_JOYBUTTONUP ||
            event.type == SDL_JOYHATMOTION) {
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
            checkFrame();
            marginsDue_ = marginRepaints;
            showAll_ = true;
            renderWindow(nullptr);
        } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            marginsDue_ = marginRepaints;
            showAll_ = true;
            renderWindow(nullptr);
        }
        break;
    case SDL_KEYDOWN:
        // Alt-F4 closes the window also where no window manager does it.
        if (event.key.keysym.sym == SDLK_F4 && (event.key.keysym.mod & KMOD_ALT) != 0) {
            windowGoesAway(events);
        } else if (!windowKey(event.key)) {
            if (const int command = playbackCommand(event.key); command != 0) {
                events.menuCommand(command);
            }
        }
        break;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
        followControllers(&event);
        break;
    default:
        break;
    }
}

// --- zoom, full screen, controllers ---

bool SdlPlatform::windowKey(const SDL_KeyboardEvent& key) {
    const SDL_Keycode sym = key.keysym.sym;
    const bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    const bool alt = (key.keysym.mod & KMOD_ALT) != 0;
    if (sym == SDLK_F11 || (alt && (sym == SDLK_RETURN || sym == SDLK_KP_ENTER))) {
        if (key.repeat == 0) {
            toggleFullscreen();
        }
        return true;
    }
    const bool in = sym == SDLK_PLUS || sym == SDLK_EQUALS || sym == SDLK_KP_PLUS;
    const bool out = sym == SDLK_MINUS || sym == SDLK_KP_MINUS;
    if (!ctrl || (!in && !out)) {
        return false;
    }
    const int step = in ? 1 : -1;
    if (fullscreen_) {
        const int fit = zoom::fittingScale(canvasSize, output_);
        const int scale = std::clamp(placement_.scale + step, 1, fit);
        fullscreenScale_ = scale == fit ? 0 : scale;
        renderWindow(nullptr);
    } else if (step < 0 || windowScale_ < fittingWindowScale()) {
        setWindowScale(std::clamp(windowScale_ + step, 1, largestScale));
    }
    return true;
}

int SdlPlatform::playbackCommand(const SDL_KeyboardEvent& key) {
    if ((key.keysym.mod & (KMOD_CTRL | KMOD_ALT)) != 0) {
        return 0;
    }
    switch (key.keysym.sym) {
    case SDLK_SPACE:
        return shell::cmdPlaybackPause;
    case SDLK_1:
    case SDLK_KP_1:
        return shell::cmdPlaybackSpeed1;
    case SDLK_2:
    case SDLK_KP_2:
        return shell::cmdPlaybackSpeed2;
    case SDLK_4:
    case SDLK_KP_4:
        return shell::cmdPlaybackSpeed4;
    default:
        return 0;
    }
}

void SdlPlatform::showPlayback(const PlaybackView& view) {
    char title[96] = "Pingel";
    if (view.active) {
        const unsigned percent =
            view.total == 0 ? 100u : static_cast<unsigned>(100ull * view.done / view.total);
        std::snprintf(title, sizeof title, "Pingel - uppspelning %u %% %s", percent,
                      view.ended        ? "(slut)"
                      : view.paused     ? "(paus)"
                      : view.speed == 2 ? "(2x)"
                      : view.speed == 4 ? "(4x)"
                                        : "(1x)");
    }
    // The title changes only when its text does, at most a hundred times a playback.
    if (window_ != nullptr && shownTitle_ != title) {
        shownTitle_ = title;
        SDL_SetWindowTitle(window_, title);
    }
}

void SdlPlatform::setWindowScale(int scale) {
    windowScale_ = scale;
    if (!fullscreen_) {
        SDL_SetWindowSize(window_, canvasWidth * scale, canvasHeight * scale);
    }
    renderWindow(nullptr);
}

void SdlPlatform::toggleFullscreen() {
    fullscreen_ = !fullscreen_;
    fullscreenScale_ = 0;
    if (fullscreen_) {
        // The window first covers the screen itself: where no window manager answers the
        // request for full screen, nothing else would make it that large.
        SDL_GetWindowPosition(window_, &windowedX_, &windowedY_);
        SDL_Rect bounds{};
        if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window_), 0), &bounds) == 0) {
            SDL_SetWindowPosition(window_, bounds.x, bounds.y);
            SDL_SetWindowSize(window_, bounds.w, bounds.h);
        }
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(window_, 0);
        SDL_SetWindowSize(window_, canvasWidth * windowScale_, canvasHeight * windowScale_);
        SDL_SetWindowPosition(window_, windowedX_, windowedY_);
    }
    renderWindow(nullptr);
}

int SdlPlatform::fittingWindowScale() const {
    int display = window_ != nullptr ? SDL_GetWindowDisplayIndex(window_) : 0;
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(std::max(display, 0), &usable) != 0) {
        return 1;
    }
    zoom::Size frame = assumedFrame;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (window_ != nullptr &&
        SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
        frame = {left + right, top + bottom};
    }
    return zoom::fittingScale(canvasSize, {usable.w, usable.h}, frame);
}

void SdlPlatform::checkFrame() {
    // Once the window is up its real frame is known: a window zoomed to fit that turns
    // out too big for the desktop with it steps down.
    if (frameChecked_ || !autoScale_ || fullscreen_) {
        return;
    }
    frameChecked_ = true;
    const int fit = fittingWindowScale();
    if (fit < windowScale_) {
        setWindowScale(fit);
    }
}

void SdlPlatform::startSlowParts() {
    if (audio_ == nullptr) {
        audio_ = std::make_unique<SdlAudio>();
        SDL_DisableScreenSaver();
    }
    if (!controllersReady_) {
        followControllers(nullptr);
    }
}

void SdlPlatform::followControllers(const SDL_Event* event) {
    if (!controllersReady_) {
        controllersReady_ = true;
        // Pads already plugged in announce themselves as added, like new ones.
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    }
    if (event == nullptr) {
        return;
    }
    if (event->type == SDL_CONTROLLERDEVICEADDED) {
        if (SDL_GameController* c = SDL_GameControllerOpen(event->cdevice.which)) {
            controllers_.push_back(c);
        }
    } else if (event->type == SDL_CONTROLLERDEVICEREMOVED) {
        SDL_GameController* c = SDL_GameControllerFromInstanceID(event->cdevice.which);
        const auto at = std::find(controllers_.begin(), controllers_.end(), c);
        if (c != nullptr && at != controllers_.end()) {
            SDL_GameControllerClose(c);
            controllers_.erase(at);
        }
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

// The Linux backend: one SDL2 window titled "Pingel", with the menu bar (Dear ImGui) above
// the 421 x 271 game picture (screen_size.h), which is copied from the 8-bit frame buffer
// through the palette. The whole window is composed at that size on a canvas and shown at
// a whole-number scale, crisp (zoom.h): Ctrl + plus and Ctrl + minus zoom, F11 and
// Alt + Enter toggle full screen. Keys are read from SDL's keyboard state plus a latch of
// presses, and game controllers add to them (gamepad.h); sounds go through SdlAudio; web
// pages open with xdg-open.
//
// Window messages: pumpMessage handles at most one per call: a menu command chosen while
// the last picture was drawn, or one SDL event. The window's meaning of each (a command,
// the window going away, the palette) is handed to the WindowEvents that pumpMessage is
// given, so that this backend knows nothing of the game. Modal dialogs run their own loop,
// drawn from the templates in app/shell_resources.h (sdl_dialogs.cpp).
#pragma once

#include "backends/sdl/gamepad.h"
#include "backends/sdl/key_latch.h"
#include "backends/sdl/zoom.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/keyboard.h"
#include "platform/machine.h"
#include "platform/resources.h"
#include "platform/screen_size.h"
#include "platform/window.h"

#include <SDL.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class SdlAudio;

class SdlPlatform : public Clock,
                    public Keyboard,
                    public Audio,
                    public Resources,
                    public Display,
                    public Window,
                    public Machine {
  public:
    static constexpr int pictureWidth = screen_size::width;
    static constexpr int pictureHeight = screen_size::height;
    static constexpr int menuBarHeight = 20;

    static constexpr int canvasWidth = pictureWidth;
    static constexpr int canvasHeight = menuBarHeight + pictureHeight;

    struct Options {
        int scale = 0; // the window's zoom; 0: the largest that fits the desktop
        bool fullscreen = false;
    };

    explicit SdlPlatform(const Options& options);
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    // False when there is no window (no display); `error` says why.
    bool ok() const { return renderer_ != nullptr; }
    std::string error;

    Millis now() override;
    void pause(Millis ms) override;
    bool keyPressed(Key key) override;
    void playSound(int id, SoundMode mode) override;
    std::span<const std::uint8_t> resource(ResourceType type, int id) const override;
    std::uint8_t* createFrame(int width, int height, int pitch, const Palette& palette) override;
    void releaseFrame(std::uint8_t* pixels) override;
    void presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) override;
    void realisePalette(const Palette& palette) override;
    void openUrl(const std::string& url) override;
    std::string ownExecutablePath() override;
    int processorType() override;
    void* loadLibrary(const std::string& name) override;
    void* findFunction(void* library, const std::string& name) override;
    int pumpMessage(WindowEvents& events) override;
    void postQuit(int exitCode) override;
    void runDialog(int templateId, DialogLogic& logic) override;
    // On a thread of its own, while this one keeps drawing the window (the open dialog
    // disabled) and taking its events: a close of the window is kept for the main loop,
    // everything typed or clicked is dropped.
    void runResponsive(const std::function<void()>& work) override;
    void debugText(const char* text) override;
    // The playback's progress and speed in the window's title.
    void showPlayback(const PlaybackView& view) override;

  private:
    // Composes the window: the last picture, the menu bar, and whatever `overlay` draws
    // (an open dialog), then shows it.
    void renderWindow(const std::function<void()>& overlay);
    void drawMenuBar(bool enabled);
    // Enlarges the canvas into the window's picture and sends what changed to the display;
    // everything when `margins` were just painted around it.
    void showCanvas(SDL_Surface* screen, bool margins);
    // The meaning of one SDL event in the main loop.
    void handleEvent(const SDL_Event& event, WindowEvents& events);
    void windowGoesAway(WindowEvents& events);
    // Zoom and full screen from a key; true when the key was one of them.
    bool windowKey(const SDL_KeyboardEvent& key);
    // A playback's control from a key (Space, 1, 2, 4); 0 when the key is none of them.
    static int playbackCommand(const SDL_KeyboardEvent& key);
    void setWindowScale(int scale);
    void toggleFullscreen();
    // The scale at which the window, frame included, fits the usable desktop.
    int fittingWindowScale() const;
    void checkFrame();
    // Opens the sound device and starts listening for controllers, once.
    void startSlowParts();
    // Opens or closes a game controller on hot-plugging; the first call starts listening.
    void followControllers(const SDL_Event* event);
    static int watchEvents(void* self, SDL_Event* event);

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* picture_ = nullptr;
    SDL_Surface* canvas_ = nullptr; // the window at scale 1, composed before it is shown
    int windowScale_ = 1;           // the zoom in a window
    int fullscreenScale_ = 0;       // the zoom in full screen; 0: the largest that fits
    bool fullscreen_ = false;
    int windowedX_ = SDL_WINDOWPOS_UNDEFINED; // where the window was before full screen
    int windowedY_ = SDL_WINDOWPOS_UNDEFINED;
    bool autoScale_ = false;            // the window's zoom was chosen to fit the desktop
    bool frameChecked_ = false;         // ...and then checked against the real window frame
    zoom::Placement placement_;         // where the canvas was last shown
    zoom::Size output_;                 // the size of the window picture it was shown in
    std::vector<Uint32> shownCanvas_;   // the canvas as last shown
    SDL_Surface* lastScreen_ = nullptr; // the window's picture it was shown in
    void* lastScreenPixels_ = nullptr;
    bool showAll_ = true; // the whole canvas is due, not only what changed
    int marginsDue_ = 0;  // paintings of the black margins still due
    bool controllersReady_ = false;
    std::vector<SDL_GameController*> controllers_;
    GamepadKeys pad_;
    bool hasPicture_ = false;
    std::string shownTitle_ = "Pingel"; // the window's title as last set
    bool imguiReady_ = false;
    bool inDialog_ = false;
    // Draws the open dialog as it stands, taking no input (set while a dialog runs).
    std::function<void()> drawDialogDisabled_;
    bool leaveDialog_ = false;   // the window went away while work ran: the dialog ends
    bool destroyed_ = false;     // the window's going away was handed on once
    bool closeDeferred_ = false; // the window was closed while a dialog was open
    bool quitFallback_ = false;  // the quit event could not be queued
    Uint32 quitEvent_ = 0;
    Uint32 lastRender_ = 0;
    Uint32 lastPump_ = 0;
    std::array<Uint32, 256> colours_{};     // the palette as ARGB
    std::vector<std::string> menuCaptions_; // UTF-8, in menu order
    std::vector<std::string> popupCaptions_;
    std::deque<int> pendingCommands_;
    KeyLatch keys_;
    std::unique_ptr<SdlAudio> audio_;
};

// The browser backend, built with Emscripten: the game runs in a web page. The 8-bit frame
// becomes RGBA through the palette (one conversion per presented frame) and is put into a
// 421 x 271 canvas that the page shows at an integer scale with crisp pixels. The menu and
// the dialogs are HTML built from the shell's tables (app/shell_resources.h), their texts
// converted from Latin-1 at this boundary. Keys, touch, sound and the tab's visibility are
// handled by the page's script (page/page.js); this class reaches it through small
// JavaScript calls.
//
// The program keeps its blocking shape: waiting (pause, a dialog's loop, a sound played to
// its end) hands the browser control through Asyncify, so the page never freezes. While
// the tab is hidden the clock stands still and waiting blocks until the tab is shown
// again, so a hidden tab costs nothing and the game goes on afterwards without catching up.
#pragma once

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/keyboard.h"
#include "platform/machine.h"
#include "platform/resources.h"
#include "platform/window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class WebPlatform : public Clock,
                    public Keyboard,
                    public Audio,
                    public Resources,
                    public Display,
                    public Window,
                    public Machine {
  public:
    WebPlatform();
    ~WebPlatform() override;
    WebPlatform(const WebPlatform&) = delete;
    WebPlatform& operator=(const WebPlatform&) = delete;

    // Tells the page that the program has ended.
    void showEnded();

    // The replay the page's address asks for (?spel=ID, ID decimal), fetched from
    // /spel/ID on the page's own origin: `asked` is false when it asks for none; else the
    // bytes (at most `limit` + 1 of them, so that a longer one is told), or, when it could
    // not be had, a Swedish text saying why.
    struct AskedReplay {
        bool asked = false;
        std::string bytes;
        std::string problem;
    };
    AskedReplay fetchAskedReplay(std::size_t limit);
    // Shows a text on the page about the replay that cannot be watched (UTF-8).
    void showPlaybackProblem(const std::string& text);

    Millis now() override;
    void pause(Millis ms) override;
    std::int64_t calendarSeconds() override;
    bool keyPressed(Key key) override;
    // F1, or a tap on the board while the game is over (a tap during a game is dropped).
    bool newGameAsked(bool gameOver) override;
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
    void runResponsive(const std::function<void()>& work) override;
    void debugText(const char* text) override;
    void showPlayback(const PlaybackView& view) override;

  private:
    std::array<std::uint32_t, 256> colours_{}; // the palette as RGBA bytes in memory order
    std::vector<std::uint32_t> rgba_;          // the picture handed to the canvas
    bool quitPosted_ = false;
    bool inDialog_ = false;
    double lastBreath_ = 0; // when calendarSeconds last let the page run
    std::string ownFile_;   // where the served program file was stored, once fetched
};

// The headless platform: no window, no sound card, no real time. One object implements
// every interface of the seam; a test or a tool hands it wherever an interface is asked
// for, sets the clock, scripts the keys, reads the log of sounds, pages and debug texts,
// and looks at the frames that were presented. Waiting advances the clock instead of
// sleeping, so a paced game runs as fast as the processor allows and always the same way.
// Each object is independent of every other: tests may make as many as they like.
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
#include <span>
#include <string>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class HeadlessPlatform : public Clock,
                         public Keyboard,
                         public Audio,
                         public Resources,
                         public Display,
                         public Window,
                         public Machine {
  public:
    struct SoundEvent {
        int id;
        SoundMode mode;
        Millis at;
        bool operator==(const SoundEvent&) const = default;
    };

    HeadlessPlatform();
    ~HeadlessPlatform() override;
    HeadlessPlatform(const HeadlessPlatform&) = delete;
    HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

    // --- controls for tests and tools ---
    void setClock(Millis t) { clock_ = t; }
    void advance(Millis ms) { clock_ += ms; }
    // Holds a key down (or releases it); a press is latched until the next query.
    void setKeyDown(Key key, bool down);
    // A press and release between two queries: the next query reports it once.
    void tap(Key key);
    void setResource(ResourceType type, int id, std::vector<std::uint8_t> bytes);
    void hideResource(ResourceType type, int id);
    void setOwnExecutablePath(std::string path) { exePath_ = std::move(path); }
    void setProcessorType(int type) { processorType_ = type; }
    // A fake run-time library: its name and its functions.
    void addLibrary(const std::string& name, std::map<std::string, void*> functions);
    // Plays the window's part: a message handled, told to `events`. Default: 1, nothing.
    std::function<int(WindowEvents& events)> onPumpMessage;
    // Once the quit message is posted, pumpMessage returns 0 without asking onPumpMessage.
    std::function<void(int, DialogLogic&)> onRunDialog; // default: init, then return
    // Plays the window's part while work runs responsively; it must run `work`. Default:
    // runs it at once.
    std::function<void(const std::function<void()>& work)> onRunResponsive;
    // The calendar clock: it starts at calendarStart and ticks one second every
    // calendarReadsPerSecond readings, so that anything timed by it ends quickly and
    // always after the same number of readings. A test may script it instead.
    std::int64_t calendarStart = 946684800; // 2000-01-01
    int calendarReadsPerSecond = 1000;
    std::function<std::int64_t()> onCalendarSeconds;

    // --- what happened ---
    std::vector<SoundEvent> sounds;
    std::vector<std::string> urls;
    std::vector<std::string> debugTexts;
    std::vector<std::uint8_t> lastFrame; // width x height, rows packed, as last presented
    int lastFrameWidth = 0, lastFrameHeight = 0;
    int presentCount = 0;
    int realiseCount = 0;
    Palette realisedPalette{};
    Palette framePalette{};
    int clockReads = 0;
    int calendarReads = 0;
    int pauses = 0;
    int framesAlive = 0;
    bool quitPosted = false;
    int exitCode = -1;

    // Length of a wave resource in milliseconds, 0 if it is missing or unreadable.
    Millis soundLength(int id) const;

    // --- the seam ---
    Millis now() override;
    void pause(Millis ms) override;
    std::int64_t calendarSeconds() override;
    bool keyPressed(Key key) override;
    void playSound(int id, SoundMode mode) override;
    std::span<const std::uint8_t> resource(ResourceType type, int id) const override;
    std::uint8_t* createFrame(int width, int height, int pitch, const Palette& palette) override;
    void releaseFrame(std::uint8_t* pixels) override;
    void presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) override;
    void realisePalette(const Palette& palette) override;
    void openUrl(const std::string& url) override;
    std::string ownExecutablePath() override { return exePath_; }
    int processorType() override { return processorType_; }
    void* loadLibrary(const std::string& name) override;
    void* findFunction(void* library, const std::string& name) override;
    int pumpMessage(WindowEvents& events) override;
    void postQuit(int code) override;
    void runDialog(int templateId, DialogLogic& logic) override;
    void runResponsive(const std::function<void()>& work) override;
    void debugText(const char* text) override { debugTexts.emplace_back(text); }

  private:
    static constexpr int keyCount = 5;
    Millis clock_ = 0;
    std::array<bool, keyCount> down_{};
    std::array<bool, keyCount> latched_{};
    std::map<std::pair<ResourceType, int>, std::vector<std::uint8_t>> resources_;
    std::map<std::pair<ResourceType, int>, bool> hidden_;
    std::string exePath_;
    int processorType_ = 586;
    std::map<std::string, std::map<std::string, void*>> libraries_;
};

// The file of the program that is running (for a tool that names its own file to the
// Machine); empty where the system does not tell.
std::string runningProgramPath();

// A dialog view that keeps the texts set on it, for driving dialog logic headless.
class RecordingDialogView : public DialogView {
  public:
    std::string caption;
    std::map<int, std::string> items;
    bool ended = false;
    void setCaption(const std::string& latin1) override { caption = latin1; }
    void setItemText(int id, const std::string& latin1) override { items[id] = latin1; }
    std::string itemText(int id) const override {
        auto it = items.find(id);
        return it == items.end() ? std::string() : it->second;
    }
    void end() override { ended = true; }
};

// The seam between the game and the operating system. Everything the game needs from a
// platform goes through the one Platform object installed with setPlatform(): the
// millisecond clock, waiting, the keyboard, sounds, resources, the frame buffer and its
// presentation, web pages, facts about the program and the machine, run-time libraries,
// window messages and modal dialogs. Backends live beside this header: headless/ (tests and
// tools), sdl/ (Linux), win32/ (Windows), and the HTTP backends curl/ and the WinInet file
// of win32/. No game file includes a system header.
//
// The files of this folder are the bottom layer and include nothing of gfx/, game/, net/
// or app/; every layer may include them (screen_size.h and little_endian.h are shared
// facts and helpers). The backends in the subfolders sit on top of everything.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Milliseconds of the system clock, as timeGetTime counts them: unsigned 32-bit, wrapping
// after about 49.7 days. Take differences in unsigned arithmetic and the wrap is harmless.
using Millis = std::uint32_t;

enum class Key { Left, Right, Up, Down, F1 };

enum class ResourceType { RcData, Bitmap, Wave };

// Play a sound and return at once (a sound already playing stops), or play it to its end.
enum class SoundMode { Async, Sync };

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};
using Palette = std::array<Colour, 256>;

// The platform's view of one modal dialog: the shell's dialog logic drives it through this
// and knows nothing of how the dialog is drawn.
class DialogView {
  public:
    virtual ~DialogView() = default;
    virtual void setCaption(const std::string& latin1) = 0;
    virtual void setItemText(int id, const std::string& latin1) = 0;
    virtual std::string itemText(int id) const = 0;
    virtual void end() = 0;
};

// What the main window's messages mean to the program, independent of any platform: the
// program implements it and hands it to pumpMessage, which calls it while it handles a
// message (never inside a frame).
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    // A menu command (the ids of the shell's menu).
    virtual void menuCommand(int id) = 0;
    // The main window is going away (the close box, Alt-F4).
    virtual void windowDestroyed() = 0;
    // The window regained palette focus.
    virtual void paletteRegained() = 0;
};

// What a dialog does on its messages, independent of any platform.
class DialogLogic {
  public:
    virtual ~DialogLogic() = default;
    virtual void init(DialogView& view) = 0;
    virtual void command(DialogView& view, int id) = 0;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Clock and waiting.
    virtual Millis now() = 0;
    // Gives the processor away for about ms milliseconds (0: a fraction of one).
    virtual void pause(Millis ms) = 0;
    // The calendar clock in whole seconds (what time() counts). Only the highscore
    // submission reads it; the default asks the C library.
    virtual std::int64_t calendarSeconds();

    // True when the key is down now or was pressed since the previous query of that key.
    virtual bool keyPressed(Key key) = 0;

    // Wave resource `id`; Sync returns only when the sound has ended.
    virtual void playSound(int id, SoundMode mode) = 0;

    // The bytes of resource (type, id); empty when there is none.
    virtual std::span<const std::uint8_t> resource(ResourceType type, int id) = 0;

    // The frame buffer: memory of height rows of `pitch` bytes owned by the platform (a
    // device-independent bitmap on Windows), shown `width` pixels wide through `palette`.
    virtual std::uint8_t* createFrame(int width, int height, int pitch, const Palette& palette) = 0;
    virtual void releaseFrame(std::uint8_t* pixels) = 0;
    // Copies the top-left part of the frame, as large as the window's picture, unscaled.
    virtual void presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) = 0;
    // Applies the palette to the window again (after the window regained palette focus).
    virtual void realisePalette(const Palette& palette) = 0;

    // Opens a web page in the user's browser; never blocks, reports nothing.
    virtual void openUrl(const std::string& url) = 0;
    // The full path of the running program's own file, empty if unknown.
    virtual std::string ownExecutablePath() = 0;
    // The processor type in the numbering of the Windows system information: 386, 486,
    // 586, 4000 (MIPS R4000), 21064 (Alpha); anything else is unknown.
    virtual int processorType() = 0;

    // Run-time libraries; null when the library or the function is not there.
    virtual void* loadLibrary(const std::string& name) = 0;
    virtual void* findFunction(void* library, const std::string& name) = 0;

    // Handles at most one pending window message, telling `events` what it means. Returns
    // 1 to go on, 0 when the quit message arrived, -1 on error. A backend may also hand
    // the messages the system sends while a dialog runs to the events it was last given:
    // they must live as long as the window.
    virtual int pumpMessage(WindowEvents& events) = 0;
    // Posts the quit message: pumpMessage returns 0 once the messages already waiting have
    // been handled. The program's exit code goes with it.
    virtual void postQuit(int exitCode) = 0;
    // Runs a modal dialog (template id 129, 131 or 135) until its logic ends it.
    virtual void runDialog(int templateId, DialogLogic& logic) = 0;
    // Runs `work` to its end and returns then; meanwhile the window stays alive: it is
    // drawn and answers the system, and an open dialog is shown as it stands, takes no
    // input and hears nothing (its logic is not called). A close of the window meanwhile
    // ends the open dialog once `work` is done. Where the backend has threads `work` runs
    // on another one, so it may use only what is safe there: the clocks, the machine's
    // facts, loading libraries and an HttpClient, and data that nothing else touches
    // meanwhile. The default runs it at once, on this thread.
    virtual void runResponsive(const std::function<void()>& work);

    // A line for a debugger, never shown to the user.
    virtual void debugText(const char* text) = 0;
};

// The installed platform. Installing one returns the previous one.
Platform& platform();
Platform* setPlatform(Platform* p);

// The main window as the shell sees it: its messages, the modal dialogs, work that runs
// while the window stays alive, and web pages opened beside it.
//
// The seam between the program and the operating system is a handful of narrow interfaces
// in this folder: Clock, Keyboard, Audio, Resources, Display, Window, Machine and
// HttpClient. A backend implements them (backends/), and the program's entry point builds
// it and hands each interface to whoever needs it; nothing reaches a platform any other way.
// The files of this folder are the bottom layer and include nothing above them; every
// layer may include them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// What the window shows of a recorded game being played back: how far it has come and at
// which speed. `active` is false once no playback is on the screen.
struct PlaybackView {
    bool active = false;
    std::uint32_t done = 0;  // updates played
    std::uint32_t total = 0; // updates of the replay
    int speed = 1;           // 1, 2 or 4 updates a frame
    bool paused = false;
    bool ended = false;
    bool operator==(const PlaybackView&) const = default;
};

// What a dialog does on its messages, independent of any platform.
class DialogLogic {
  public:
    virtual ~DialogLogic() = default;
    virtual void init(DialogView& view) = 0;
    virtual void command(DialogView& view, int id) = 0;
};

class Window {
  public:
    virtual ~Window() = default;

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
    // Opens a web page in the user's browser; never blocks, reports nothing.
    virtual void openUrl(const std::string& url) = 0;
    // Shows how a playback stands (its controls, progress and speed), or that none runs;
    // called when it changes. The default shows nothing.
    virtual void showPlayback(const PlaybackView& view) { (void)view; }
};

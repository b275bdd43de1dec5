// The Windows backend of the platform seam, with the calls the game was designed around:
// timeGetTime and Sleep for pacing, GetAsyncKeyState for the keys, PlaySoundA for the wave
// resources, FindResourceA for every resource, a device-independent bitmap section as the
// frame buffer copied with StretchDIBits through a logical palette, ShellExecuteA for web
// pages, LoadLibraryA/GetProcAddress, PeekMessageA/GetMessageA, and DialogBoxParamA with a
// dialog procedure that forwards to the shell's platform-free dialog logic. Behind a dialog it
// repaints the frame it last presented, from the bitmap it made; the window procedure hands
// the main window's messages to the WindowEvents of the latest pumpMessage.
//
// The game's picture may be zoomed: StretchDIBits shows it at a whole-number scale, centred
// in the client area on the black of the window class (Ctrl + plus and Ctrl + minus resize
// the window, F11 and Alt + Enter toggle full screen); the menu and the dialogs stay as
// the system draws them.
#pragma once

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/keyboard.h"
#include "platform/machine.h"
#include "platform/resources.h"
#include "platform/screen_size.h"
#include "platform/window.h"

#include <windows.h>

#include <map>

class Win32Platform : public Clock,
                      public Keyboard,
                      public Audio,
                      public Resources,
                      public Display,
                      public Window,
                      public Machine {
  public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform() override;

    // The window that present and the palette paint, once it exists.
    // The one main window; it keeps a pointer to this backend, for its window procedure
    // and the dialogs it owns (of()).
    void setMainWindow(HWND window);
    // The backend of a main window set with setMainWindow, or of the window that owns a
    // dialog; null before that or for any other window.
    static Win32Platform* of(HWND window);
    HWND mainWindow() const { return mainWindow_; }
    // Where the window procedure hands the main window's messages: the events of the
    // latest pumpMessage (also while a dialog runs), none before the first or after
    // forgetWindowEvents.
    WindowEvents* windowEvents() const { return events_; }
    void forgetWindowEvents() { events_ = nullptr; }
    // Presents again the frame last presented, if it still exists (behind a dialog).
    void repaintLastFrame();
    // Zoom and full screen from a key of the main window; true when it was one of them.
    bool windowKey(WPARAM virtualKey, bool ctrl, bool alt);

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
    // On a thread of its own, while this one goes on dispatching the messages of every
    // window; the open dialog's buttons and fields are disabled meanwhile and its commands
    // are not handed to its logic.
    void runResponsive(const std::function<void()>& work) override;
    void debugText(const char* text) override;

    // True while work runs responsively. A close of the main window meanwhile waits for
    // its end: it ends the open dialog and is sent again then.
    bool busy() const { return busy_; }
    void closeAfterWork() { closeDeferred_ = true; }

  private:
    struct FrameBitmap {
        HBITMAP bitmap;
        int width, height;
    };
    static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HINSTANCE instance_;
    HWND mainWindow_ = nullptr;
    // The bitmap description shared by the bitmap section and StretchDIBits: a header and
    // a 256-entry colour table.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info_{};
    std::map<const std::uint8_t*, FrameBitmap> frames_;
    const std::uint8_t* lastPresented_ = nullptr; // a frame of frames_, or null
    int scale_ = 1;                               // the zoom in a window
    bool fullscreen_ = false;
    RECT windowed_{};      // the window's place before full screen...
    LONG windowedStyle_{}; // ...and its style

    void setScale(int scale);
    void toggleFullscreen();
    // The largest zoom at which the window, frame and menu included, fits the work area.
    int fittingScale() const;
    WindowEvents* events_ = nullptr;
    HWND openDialog_ = nullptr; // the dialog runDialog is running, once it exists
    int openTemplate_ = 0;
    bool busy_ = false;
    bool closeDeferred_ = false;
};

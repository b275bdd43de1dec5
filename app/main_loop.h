// The entry and the main loop. runPingel builds the Shell of the run from the seams the
// entry point hands it: the Session (the shell's run-long state) and the GameDriver (its
// first game frozen with "GAME OVER"). It runs passes until the quit message arrives,
// handing the Shell to pumpMessage as the receiver of the window's messages. One pass:
// offer to send a new best score once the game is over; open whichever dialog is
// requested, in the fixed order question, login, information; run one frame; let the best
// score follow the score; ask for a new game (F1); then the loop handles at most one
// window message. The loop never waits for messages: the frame's wait sets the pace.
//
// app/ is the top of the portable code: the shell, on game/, gfx/, net/ and the platform
// seam. The backends' entry points call runPingel; nothing below includes app/.
#pragma once

#include "app/game_driver.h"
#include "app/playback.h"
#include "app/session.h"
#include "platform/http_client.h"
#include "platform/machine.h"
#include "platform/window.h"

#include <memory>

// Everything of the platform the shell reaches, built by the entry point for its system.
struct ShellSeams {
    Clock& clock;
    Keyboard& keyboard;
    Audio& audio;
    Display& display;
    const Resources& resources;
    Window& window;
    Machine& machine;
    HttpClient& http;

    GameDriver::Seams driver() const { return {clock, keyboard, audio, display, resources}; }
};

// The shell of one run; the menu, the dialogs and the main loop reach the session, the
// driver and the seams through it. What the window's messages do is in main_window.cpp.
class Shell : public WindowEvents {
  public:
    // Opens on `opening` when one is given (a playback), else on a finished board.
    Shell(GameDriver::Factory makeGame, const ShellSeams& seams,
          std::unique_ptr<Game> opening = nullptr);

    // One pass of the loop without its message; nothing once the driver is gone.
    void runPass();
    // Destroys the GameDriver and its game at once and posts the quit message. Never called
    // inside a frame.
    void quit();

    // A menu command (ids in shell_resources.h); other ids are ignored. The menu never
    // opens a dialog itself: it raises a GameDriver flag, and the next pass opens it.
    void menuCommand(int id) override;
    // The main window is going away: quit.
    void windowDestroyed() override;
    // The next present applies the palette again.
    void paletteRegained() override;

    // Whether a number of the game or the best score has been found changed from outside
    // since the current game was built.
    bool tampered() const;
    // The playback on the screen, or null while the game is the player's own.
    Playback* playback() const;

    Session session;
    ShellSeams seams;
    std::unique_ptr<GameDriver> driver; // null after quit

  private:
    PlaybackView shownPlayback_; // what the window was last told
};

// Runs the program on the given seams; returns its exit code (0 after quit). With an
// opening game (a playback) the program opens on it; F1 or the menu's new game leaves it
// for a game of the player's own.
int runPingel(GameDriver::Factory makeGame, const ShellSeams& seams,
              std::unique_ptr<Game> opening = nullptr);

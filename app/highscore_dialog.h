// The highscore dialog: the user gives the portal account (an e-mail address and a
// password), the best score is sent, and the reply closes the dialog or opens a page of
// the portal in the browser. Platform-free logic behind dialog template 131; a backend
// draws the controls and reports the buttons.
//
// The best score, its play time and the current score are given up only when the server
// has accepted them; after any other outcome they stay, so a new try sends them again,
// the send button offers that try and a line under the buttons says what went wrong.
// The account stays in the session's record for the rest of the run and is never written
// anywhere. The dialog reaches the session, the driver and the current game's score
// through the Shell of the run.
#pragma once

#include "net/highscore_submission.h"
#include "platform/window.h"

#include <string>
#include <string_view>

class Shell;

class HighscoreDialog : public DialogLogic {
  public:
    // Sends through the shell's client to the portal the program was built for, or to
    // `portal`.
    explicit HighscoreDialog(Shell& shell);
    HighscoreDialog(Shell& shell, HighscorePortal portal);

    void init(DialogView& view) override;
    void command(DialogView& view, int id) override;

    // The e-mail address as a URL's query value: characters that would end or change the
    // URL are percent-encoded, everything else is left as typed.
    static std::string queryValue(std::string_view text);

  private:
    void send(DialogView& view);

    Shell& shell_;
    HighscorePortal portal_;
};

// The portal the program was built for, with the default time bounds.
HighscorePortal builtInPortal();

// Runs the highscore dialog modally (the main loop, when a login is requested).
void runHighscoreDialog(Shell& shell);

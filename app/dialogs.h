// The logic of the information dialog (129) and of the question that offers to send the
// best score (135): what each does when it opens and on each command. The platform draws
// them from the templates in shell_resources.h and reports commands here; the logic only
// sets texts, posts requests to the GameDriver's queue and ends the dialog. Both reach the session
// and the driver through the Shell of the run.
//
// While a dialog is open the game stands still and the last frame stays visible behind it:
// every message the logic receives first repaints it (repaintBehindDialog).
#pragma once

#include "platform/window.h"

class Shell;

// Presents the current frame buffer again, so the last game frame shows behind a dialog.
void repaintBehindDialog(Shell& shell);

// Shows the text chosen by the session's infoTextSelector. OK (or Enter) ends it and moves
// the game's schedule past the pause; Escape does nothing.
class InfoDialog : public DialogLogic {
  public:
    explicit InfoDialog(Shell& shell) : shell_(shell) {}
    void init(DialogView& view) override;
    void command(DialogView& view, int id) override;

  private:
    Shell& shell_;
};

// "Vill du skicka din highscore till Internet?" "Ja" (or Enter) requests the login;
// "Nej", Escape and the close box just end it. Neither resumes the schedule.
class QuestionDialog : public DialogLogic {
  public:
    explicit QuestionDialog(Shell& shell) : shell_(shell) {}
    void init(DialogView& view) override;
    void command(DialogView& view, int id) override;

  private:
    Shell& shell_;
};

// The information dialog and the highscore question; see dialogs.h.
#include "app/dialogs.h"

#include "app/info_texts.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"

namespace {
constexpr const char* questionCaption = "Registrera";
constexpr const char* questionText = "Vill du skicka din highscore till Internet?";
} // namespace

void repaintBehindDialog(Shell& shell) {
    // After quit the frame buffer is gone with the driver.
    if (shell.driver != nullptr) {
        shell.driver->screen().present();
    }
}

void InfoDialog::init(DialogView& view) {
    repaintBehindDialog(shell_);
    view.setItemText(shell::idText, std::string(infoText(shell_.session.infoTextSelector)));
}

void InfoDialog::command(DialogView& view, int id) {
    repaintBehindDialog(shell_);
    if (id != shell::idOk) {
        return;
    }
    if (shell_.driver != nullptr) {
        shell_.driver->resumeAfterPause();
    }
    view.end();
}

void QuestionDialog::init(DialogView& view) {
    repaintBehindDialog(shell_);
    if (shell_.driver != nullptr && shell_.driver->requests.waiting(ShellRequest::OfferSubmit)) {
        view.setCaption(questionCaption);
        view.setItemText(shell::idText, questionText);
    }
}

void QuestionDialog::command(DialogView& view, int id) {
    repaintBehindDialog(shell_);
    if (id == shell::idOk) {
        if (shell_.driver != nullptr &&
            shell_.driver->requests.waiting(ShellRequest::OfferSubmit)) {
            shell_.driver->requests.post(ShellRequest::Login);
        }
        view.end();
    } else if (id == shell::idCancel) {
        view.end();
    }
}

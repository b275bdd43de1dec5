// The information dialog and the highscore question; see dialogs.h.
#include "app/dialogs.h"

#include "app/game_driver.h"
#include "app/info_texts.h"
#include "app/session.h"
#include "app/shell_resources.h"
#include "gfx/screen_buffer.h"

namespace {
constexpr const char* questionCaption = "Registrera";
constexpr const char* questionText = "Vill du skicka din highscore till Internet?";
} // namespace

void repaintBehindDialog() {
    // After quit the World and its frame buffer are gone, and the pointer with them.
    if (gameDriver != nullptr && screenBuffer != nullptr) {
        screenBuffer->present();
    }
}

void InfoDialog::init(DialogView& view) {
    repaintBehindDialog();
    view.setItemText(shell::idText, std::string(infoText(infoTextSelector)));
}

void InfoDialog::command(DialogView& view, int id) {
    repaintBehindDialog();
    if (id != shell::idOk) {
        return;
    }
    if (gameDriver != nullptr) {
        gameDriver->resumeAfterPause();
    }
    view.end();
}

void QuestionDialog::init(DialogView& view) {
    repaintBehindDialog();
    if (gameDriver != nullptr && gameDriver->submitOfferRequested) {
        view.setCaption(questionCaption);
        view.setItemText(shell::idText, questionText);
    }
}

void QuestionDialog::command(DialogView& view, int id) {
    repaintBehindDialog();
    if (id == shell::idOk) {
        if (gameDriver != nullptr && gameDriver->submitOfferRequested) {
            gameDriver->loginRequested = true;
        }
        view.end();
    } else if (id == shell::idCancel) {
        view.end();
    }
}

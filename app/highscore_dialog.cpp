// The highscore dialog's logic; see highscore_dialog.h. What each result code does is a
// table: the codes that leave the dialog open for a new try name the page they open.
#include "app/highscore_dialog.h"

#include "app/build_config.h"
#include "app/highscore_outcome.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"
#include "net/url.h"

#include <array>

namespace {

constexpr std::string_view captionStart = "Registrera din po\xE4ng (";
constexpr std::string_view sendingCaption = "Skickar...";
constexpr std::string_view retryCaption = "F\xF6rs\xF6k igen";

constexpr std::string_view registerPage = "/registrera/";
constexpr std::string_view versionPage = "/version.asp?gameid=";

// A result after which the dialog stays open, offers a new try and opens a page.
struct RetryOutcome {
    std::int32_t result;
    std::string_view page;
    bool withEmail; // the e-mail address follows the path
};

constexpr std::array<RetryOutcome, 3> retryOutcomes = {{
    {resultLibraryMissing, "/dll/", false},
    {2, registerPage, false},
    {3, "/getpass.asp?mail=", true},
}};

bool accepted(std::int32_t result) {
    return result == 0 || result == 1;
}

// Characters that end or change a URL's query value when left as they are ('+' reads as a
// blank in a query, so "anna+spel@example.se" must travel as "anna%2Bspel@example.se").
bool needsEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '#' || c == '&' ||
           c == '%' || c == '\\' || c == '+';
}

} // namespace

HighscorePortal builtInPortal() {
    return {build_config::portalHost, build_config::portalPort, HttpTimeouts{}};
}

HighscoreDialog::HighscoreDialog(Shell& shell) : HighscoreDialog(shell, builtInPortal()) {}

HighscoreDialog::HighscoreDialog(Shell& shell, HighscorePortal portal)
    : shell_(shell), portal_(std::move(portal)) {}

std::string HighscoreDialog::queryValue(std::string_view text) {
    return percentEncode(text, [](unsigned char c) { return !needsEscape(c); });
}

void HighscoreDialog::init(DialogView& view) {
    Session& session = shell_.session;
    view.setCaption(std::string(captionStart) + std::to_string(session.bestScore.value()) + ")");
    view.setItemText(shell::idEmail, session.highscoreRecord.email);
    view.setItemText(shell::idPassword, session.highscoreRecord.password);
}

void HighscoreDialog::command(DialogView& view, int id) {
    switch (id) {
    case shell::idOk:
        send(view);
        break;
    case shell::idCancel:
        if (shell_.driver != nullptr) {
            shell_.driver->resumeAfterPause();
        }
        view.end();
        break;
    case shell::idNewUser:
        shell_.seams.window.openUrl(portalUrl(registerPage));
        break;
    default:
        break;
    }
}

void HighscoreDialog::send(DialogView& view) {
    Session& session = shell_.session;
    HighscoreRecord& record = session.highscoreRecord;
    record.email = view.itemText(shell::idEmail).substr(0, HighscoreRecord::maxEmail);
    record.password = view.itemText(shell::idPassword).substr(0, HighscoreRecord::maxPassword);
    if (record.email.empty() || record.password.empty()) {
        return;
    }
    record.score = session.bestScore.value();
    record.playTimeMs = static_cast<std::int32_t>(session.playTimeAtBest);
    record.tampered = session.tamperedAtBest || shell_.tampered();
    record.replay = [game = session.bestGame, score = record.score](std::uint32_t checksum,
                                                                    std::uint32_t length) {
        return replay::encode(replay::fromRecording(game, score, checksum, length));
    };

    view.setItemText(shell::idOk, std::string(sendingCaption));
    view.setItemText(shell::idStatus, "");
    // The attempt takes seconds (the processor is measured, the portal may be slow): the
    // window stays alive meanwhile and the dialog takes no input, so nothing here touches
    // the record until it is over.
    const ShellSeams& seams = shell_.seams;
    seams.window.runResponsive([&] {
        submitHighscore(record, seams.http, portal_, {seams.clock, seams.machine});
    });

    if (accepted(record.result)) {
        // The portal has the score: the run's best starts again from nothing.
        record.score = 0;
        session.bestScore.set(0);
        session.playTimeAtBest = 0;
        if (shell_.driver != nullptr) {
            if (Counter* score = shell_.driver->game->score()) {
                score->set(0);
            }
        }
    }

    bool ended = false;
    if (record.versionPageId > 1) {
        shell_.seams.window.openUrl(
            portalUrl(std::string(versionPage) + std::to_string(record.versionPageId)));
        view.end();
        ended = true;
    }
    if (!accepted(record.result) && !ended) {
        // The attempt is over: the button offers the next one, the line says what failed.
        view.setItemText(shell::idOk, std::string(retryCaption));
        view.setItemText(shell::idStatus, outcomeLine(record));
    }
    for (const RetryOutcome& outcome : retryOutcomes) {
        if (record.result == outcome.result) {
            view.setItemText(shell::idOk, std::string(retryCaption));
            std::string path(outcome.page);
            if (outcome.withEmail) {
                path += queryValue(record.email);
            }
            shell_.seams.window.openUrl(portalUrl(path));
            return;
        }
    }
    if (accepted(record.result) && !ended) {
        view.end();
    }
}

void runHighscoreDialog(Shell& shell) {
    HighscoreDialog dialog(shell);
    shell.seams.window.runDialog(shell::highscoreDialogId, dialog);
}

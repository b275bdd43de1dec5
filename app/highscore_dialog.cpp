// The highscore dialog's logic; see highscore_dialog.h. What each result code does is a
// table: the codes that leave the dialog open for a new try name the page they open.
#include "app/highscore_dialog.h"

#include "app/build_config.h"
#include "app/game_driver.h"
#include "app/highscore_outcome.h"
#include "app/session.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"
#include "game/counter.h"

#include <array>

// The current game's score display, kept by the World.
extern CounterDisplay* scoreCounter;

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

// The best score: the raw number of its Counter less one.
std::int32_t bestScoreValue() {
    return bestScore.get() - 1;
}

// Characters that end or change a URL's query value when left as they are.
bool needsEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '#' || c == '&' ||
           c == '%' || c == '\\';
}

} // namespace

HighscorePortal builtInPortal() {
    return {build_config::portalHost, build_config::portalPort, HttpTimeouts{}};
}

HighscoreDialog::HighscoreDialog(HttpClient& client, HighscoreRecord& record)
    : HighscoreDialog(client, record, builtInPortal()) {}

HighscoreDialog::HighscoreDialog(HttpClient& client, HighscoreRecord& record,
                                 HighscorePortal portal)
    : client_(client), record_(record), portal_(std::move(portal)) {}

std::string HighscoreDialog::queryValue(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEscape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

void HighscoreDialog::init(DialogView& view) {
    view.setCaption(std::string(captionStart) + std::to_string(bestScoreValue()) + ")");
    view.setItemText(shell::idEmail, record_.email);
    view.setItemText(shell::idPassword, record_.password);
}

void HighscoreDialog::command(DialogView& view, int id) {
    switch (id) {
    case shell::idOk:
        send(view);
        break;
    case shell::idCancel:
        if (gameDriver != nullptr) {
            gameDriver->resumeAfterPause();
        }
        view.end();
        break;
    case shell::idNewUser:
        platform().openUrl(portalUrl(registerPage));
        break;
    default:
        break;
    }
}

void HighscoreDialog::send(DialogView& view) {
    HighscoreRecord& record = record_;
    record.email = view.itemText(shell::idEmail).substr(0, HighscoreRecord::maxEmail);
    record.password = view.itemText(shell::idPassword).substr(0, HighscoreRecord::maxPassword);
    if (record.email.empty() || record.password.empty()) {
        return;
    }
    record.score = bestScoreValue();
    record.playTimeMs = static_cast<std::int32_t>(playTimeAtBest);
    record.tampered = tamperedAtBest || scoreTampered;

    view.setItemText(shell::idOk, std::string(sendingCaption));
    view.setItemText(shell::idStatus, "");
    submitHighscore(record, client_, portal_);

    if (accepted(record.result)) {
        // The portal has the score: the run's best starts again from nothing.
        record.score = 0;
        bestScore.set(1);
        playTimeAtBest = 0;
        if (scoreCounter != nullptr) {
            scoreCounter->set(1);
        }
    }

    bool ended = false;
    if (record.versionPageId > 1) {
        platform().openUrl(
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
            platform().openUrl(portalUrl(path));
            return;
        }
    }
    if (accepted(record.result) && !ended) {
        view.end();
    }
}

void runHighscoreDialog(HttpClient& client, HighscoreRecord& record) {
    HighscoreDialog dialog(client, record);
    platform().runDialog(shell::highscoreDialogId, dialog);
}

// The entry, the main loop and quit; see main_loop.h.
#include "app/main_loop.h"

#include "app/dialogs.h"
#include "app/highscore_dialog.h"
#include "app/shell_resources.h"

namespace {

// Once the game is over with a best score above the one last offered, offer it: once per
// new best, whatever the answer.
void offerNewBest(Session& session, GameDriver& driver) {
    const std::int32_t best = session.bestScore.value();
    if (driver.gameOver && best > session.lastOfferedScore) {
        session.lastOfferedScore = best;
        session.playTimeAtBest = platform().now() - driver.startTime;
        session.tamperedAtBest = scoreTampered;
        driver.submitOfferRequested = true;
    }
}

// The best score follows the score live, with the play time and the tamper flag of the
// moment.
void followScore(Session& session, GameDriver& driver) {
    Counter* score = driver.game->score();
    if (score == nullptr) {
        return;
    }
    const std::int32_t now = score->value();
    if (now > session.bestScore.value()) {
        session.bestScore.set(now);
        session.playTimeAtBest = platform().now() - driver.startTime;
        session.tamperedAtBest = scoreTampered;
    }
}

} // namespace

Shell::Shell(GameDriver::Factory makeGame, HttpClient& http)
    : http(http), driver(std::make_unique<GameDriver>(std::move(makeGame))) {
    driver->screen().paletteRefreshPending = true;
}

void Shell::runPass() {
    if (driver == nullptr) {
        return;
    }
    offerNewBest(session, *driver);
    // Each dialog runs to its end before the next check. Quit normally arrives as a message
    // after the pass; should the window go away while a dialog is open, the pass ends there.
    if (driver->submitOfferRequested) {
        QuestionDialog question(*this);
        platform().runDialog(shell::questionDialogId, question);
        if (driver == nullptr) {
            return;
        }
        driver->submitOfferRequested = false;
    }
    if (driver->loginRequested) {
        runHighscoreDialog(*this);
        if (driver == nullptr) {
            return;
        }
        driver->loginRequested = false;
    }
    if (driver->infoRequested) {
        InfoDialog info(*this);
        platform().runDialog(shell::infoDialogId, info);
        if (driver == nullptr) {
            return;
        }
        driver->infoRequested = false;
    }
    driver->runFrame();
    followScore(session, *driver);
    if (platform().keyPressed(Key::F1)) {
        driver->restartRequested = true;
    }
}

void Shell::quit() {
    // quit is reached only through a window message, which is never handled inside a frame.
    driver.reset();
    platform().postQuit(0);
}

int runPingel(GameDriver::Factory makeGame, HttpClient& http) {
    Shell shell(std::move(makeGame), http);
    int result = 1;
    while (result == 1) {
        shell.runPass();
        result = platform().pumpMessage(shell);
    }
    // A message error ends the loop too; the game still goes away before the program does.
    shell.driver.reset();
    return result == 0 ? 0 : 1;
}

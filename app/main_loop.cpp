// The entry, the main loop and quit; see main_loop.h.
#include "app/main_loop.h"

#include "app/dialogs.h"
#include "app/highscore_dialog.h"
#include "app/session.h"
#include "app/shell_resources.h"
#include "game/counter.h"
#include "gfx/screen_buffer.h"

namespace {

// Once the game is over with a best score above the one last offered, offer it: once per
// new best, whatever the answer.
void offerNewBest(GameDriver& driver) {
    const std::int32_t best = bestScore.get() - 1;
    if (driver.gameOver && best > lastOfferedScore) {
        lastOfferedScore = best;
        playTimeAtBest = platform().now() - driver.startTime;
        tamperedAtBest = scoreTampered;
        driver.submitOfferRequested = true;
    }
}

// The best score follows the score live, with the play time and the tamper flag of the
// moment.
void followScore(GameDriver& driver) {
    if (scoreCounter == nullptr) {
        return;
    }
    const std::int32_t raw = scoreCounter->get();
    if (raw - 1 > bestScore.get() - 1) {
        bestScore.set(raw);
        playTimeAtBest = platform().now() - driver.startTime;
        tamperedAtBest = scoreTampered;
    }
}

} // namespace

void runMainLoopPass(HttpClient& http, HighscoreRecord& record) {
    if (gameDriver == nullptr) {
        return;
    }
    offerNewBest(*gameDriver);
    // Each dialog runs to its end before the next check; none of them ends the driver
    // (quit arrives as a message, handled after the pass).
    if (gameDriver->submitOfferRequested) {
        QuestionDialog question;
        platform().runDialog(shell::questionDialogId, question);
        gameDriver->submitOfferRequested = false;
    }
    if (gameDriver->loginRequested) {
        runHighscoreDialog(http, record);
        gameDriver->loginRequested = false;
    }
    if (gameDriver->infoRequested) {
        InfoDialog info;
        platform().runDialog(shell::infoDialogId, info);
        gameDriver->infoRequested = false;
    }
    gameDriver->runFrame();
    followScore(*gameDriver);
    if (platform().keyPressed(Key::F1)) {
        gameDriver->restartRequested = true;
    }
}

void quit() {
    // quit is reached only through a window message, which is never handled inside a frame.
    delete gameDriver;
    gameDriver = nullptr;
    platform().postQuit(0);
}

int runPingel(GameDriver::Factory makeGame, HttpClient& http) {
    gameDriver = new GameDriver(std::move(makeGame));
    paletteRefreshPending = true;
    bestScore.set(1);
    playTimeAtBest = 0;
    lastOfferedScore = 0;
    tamperedAtBest = false;

    // The account typed in the highscore dialog, kept for the rest of the run.
    HighscoreRecord record;
    int result = 1;
    while (result == 1) {
        runMainLoopPass(http, record);
        result = platform().pumpMessage();
    }
    // A message error ends the loop too; the game still goes away before the program does.
    delete gameDriver;
    gameDriver = nullptr;
    return result == 0 ? 0 : 1;
}

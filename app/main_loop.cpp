// The entry, the main loop and quit; see main_loop.h.
#include "app/main_loop.h"

#include "app/dialogs.h"
#include "app/highscore_dialog.h"
#include "app/shell_resources.h"

namespace {

// Once the game is over with a best score above the one last offered, offer it: once per
// new best, whatever the answer. Never while a playback is on the screen.
void offerNewBest(Session& session, GameDriver& driver, bool tampered, bool watching) {
    const std::int32_t best = session.bestScore.value();
    if (driver.gameOver && !watching && best > session.lastOfferedScore) {
        session.lastOfferedScore = best;
        session.playTimeAtBest = driver.playTime();
        session.tamperedAtBest = tampered;
        driver.requests.post(ShellRequest::OfferSubmit);
    }
}

// The best score follows the score live, with the play time and the tamper flag of the
// moment, and the game that made it. A playback's score is never the player's.
void followScore(Session& session, GameDriver& driver, const Shell& shell) {
    Counter* score = driver.game->score();
    if (score == nullptr || shell.playback() != nullptr) {
        return;
    }
    const std::int32_t now = score->value();
    if (now > session.bestScore.value()) {
        session.bestScore.set(now);
        session.playTimeAtBest = driver.playTime();
        session.tamperedAtBest = shell.tampered();
        if (const replay::Recording* game = driver.game->recording()) {
            session.bestGame = game->prefix(driver.game->scoreReachedAt());
        }
    }
}

} // namespace

Shell::Shell(GameDriver::Factory makeGame, const ShellSeams& shellSeams,
             std::unique_ptr<Game> opening)
    : seams(shellSeams) {
    // Like the numbers of a game, the best score's finding of tampering lasts until the
    // next game is built.
    GameDriver::Factory build = [this, make = std::move(makeGame)](Millis seed,
                                                                   const Resources& resources) {
        session.bestScore.clearTampered();
        return make(seed, resources);
    };
    driver = std::make_unique<GameDriver>(std::move(build), seams.driver());
    if (opening != nullptr) {
        driver->start(std::move(opening));
    }
    driver->screen().paletteRefreshPending = true;
}

Playback* Shell::playback() const {
    return driver != nullptr ? dynamic_cast<Playback*>(driver->game.get()) : nullptr;
}

bool Shell::tampered() const {
    return session.bestScore.tampered() || (driver != nullptr && driver->game->tampered());
}

void Shell::runPass() {
    if (driver == nullptr) {
        return;
    }
    offerNewBest(session, *driver, tampered(), playback() != nullptr);
    // Each dialog runs to its end before the next check. Quit normally arrives as a message
    // after the pass; should the window go away while a dialog is open, the pass ends there.
    if (driver->requests.waiting(ShellRequest::OfferSubmit)) {
        QuestionDialog question(*this);
        seams.window.runDialog(shell::questionDialogId, question);
        if (driver == nullptr) {
            return;
        }
        driver->requests.take(ShellRequest::OfferSubmit);
    }
    if (driver->requests.waiting(ShellRequest::Login)) {
        runHighscoreDialog(*this);
        if (driver == nullptr) {
            return;
        }
        driver->requests.take(ShellRequest::Login);
    }
    if (driver->requests.waiting(ShellRequest::Info)) {
        InfoDialog info(*this);
        seams.window.runDialog(shell::infoDialogId, info);
        if (driver == nullptr) {
            return;
        }
        driver->requests.take(ShellRequest::Info);
    }
    driver->runFrame();
    followScore(session, *driver, *this);
    const Playback* watched = playback();
    const PlaybackView view = watched != nullptr ? watched->view() : PlaybackView{};
    if (view != shownPlayback_) {
        shownPlayback_ = view;
        seams.window.showPlayback(view);
    }
    if (seams.keyboard.newGameAsked(driver->game->gameOver)) {
        driver->requests.post(ShellRequest::Restart);
    }
}

void Shell::quit() {
    // quit is reached only through a window message, which is never handled inside a frame.
    driver.reset();
    seams.window.postQuit(0);
}

int runPingel(GameDriver::Factory makeGame, const ShellSeams& seams,
              std::unique_ptr<Game> opening) {
    Shell shell(std::move(makeGame), seams, std::move(opening));
    int result = 1;
    while (result == 1) {
        shell.runPass();
        result = seams.window.pumpMessage(shell);
    }
    // A message error ends the loop too; the game still goes away before the program does.
    shell.driver.reset();
    return result == 0 ? 0 : 1;
}

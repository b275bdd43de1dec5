// The main loop, the menu and the dialog logic, run headless: the pump hook plays the user
// (keys, menu commands) once per pass and the dialog hook answers the dialogs. The games
// are scripted: each scores a set number of points and ends after a set number of updates.
// The hooks reach the run's Shell through the WindowEvents that pumpMessage is given.
#include "app/dialogs.h"
#include "app/info_texts.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"
#include "backends/headless/headless.h"
#include "fake_http_client.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

// How the next game built will play.
struct GamePlan {
    std::int32_t pointsPerUpdate = 0;
    int length = -1; // updates until it is over; -1: never
};

// A game that scores and ends as planned, and draws into the driver's frame buffer the way
// a World does.
struct ScriptedGame : Game {
    explicit ScriptedGame(GamePlan plan) : plan_(plan) {}
    void update(const ArrowKeys&) override {
        if (gameOver) {
            return;
        }
        ++updates;
        points.add(plan_.pointsPerUpdate);
        if (plan_.length >= 0 && updates >= plan_.length) {
            gameOver = true;
        }
    }
    void render(ScreenBuffer& screen) override {
        screen.initialise();
        screen.present();
    }
    Counter* score() override { return &points; }
    GamePlan plan_;
    Counter points;
    int updates = 0;
};

GameDriver::Factory idleGames() {
    return [](Millis, const Resources&) { return std::make_unique<ScriptedGame>(GamePlan{}); };
}

// For the shells that never send: the menu's tests.
FakeHttpClient unusedHttp;

// One dialog as the hook saw it.
struct DialogSeen {
    int templateId;
    int pass;
    std::string text; // item 1000
};

struct MainLoop : ::testing::Test {
    HeadlessPlatform h;
    GamePlan next;
    int built = 0;
    int pass = 0;
    std::vector<DialogSeen> dialogs;
    // The answer a dialog gets, by template id; none: it is only opened (init) and left.
    std::map<int, int> answers;
    std::function<void(DialogView&)> whileOpen; // runs between init and the answer
    std::function<void()> eachPass;             // the user, at the end of every pass
    int exitCode = -1;
    FakeHttpClient http;    // the highscore dialog is cancelled in these tests: nothing is sent
    Shell* shell = nullptr; // the run's, while it runs
    Session session;        // the run's session as it stood after the last pass

    MainLoop() {
        h.onPumpMessage = [this](WindowEvents& events) {
            shell = &dynamic_cast<Shell&>(events);
            ++pass;
            if (eachPass) {
                eachPass();
            }
            session = shell->session;
            if (pass > 10000) { // a run that should have ended fails instead of hanging
                ADD_FAILURE() << "the loop is still running";
                return -1;
            }
            return 1;
        };
        h.onRunDialog = [this](int id, DialogLogic& logic) {
            RecordingDialogView view;
            logic.init(view);
            dialogs.push_back({id, pass + 1, view.itemText(shell::idText)});
            if (whileOpen) {
                whileOpen(view);
            }
            if (auto it = answers.find(id); it != answers.end()) {
                logic.command(view, it->second);
                EXPECT_TRUE(view.ended) << "dialog " << id << " answered " << it->second;
            }
        };
    }
    GameDriver::Factory factory() {
        return [this](Millis, const Resources&) {
            ++built;
            return std::make_unique<ScriptedGame>(next);
        };
    }
    GameDriver& driver() { return *shell->driver; }
    ScriptedGame& game() { return static_cast<ScriptedGame&>(*driver().game); }
    // Runs the program until the user quits; passes are counted from 1.
    void run() {
        exitCode = runPingel(factory(), headlessSeams(h, http));
        shell = nullptr;
    }
    // The best score: live while the program runs, as it was left afterwards.
    std::int32_t best() { return (shell != nullptr ? shell->session : session).bestScore.value(); }
};

} // namespace

TEST_F(MainLoop, OpensFrozenThenF1StartsAGameOnTheNextFrameHeldOnEvery) {
    eachPass = [&] {
        if (pass <= 5) {
            EXPECT_EQ(built, 1); // the frozen board waits for F1
        }
        if (pass == 5) {
            h.tap(Key::F1);
        }
        if (pass == 7) {
            // F1 was seen at the end of pass 6, the game began in the frame of pass 7.
            EXPECT_EQ(built, 2);
            EXPECT_FALSE(driver().gameOver);
            EXPECT_EQ(game().updates, 2);
            h.setKeyDown(Key::F1, true);
        }
        if (pass >= 9 && pass <= 11) {
            // Held, F1 is seen after every frame: a new game in each next one.
            EXPECT_EQ(built, pass - 6);
            EXPECT_EQ(game().updates, 2);
        }
        if (pass == 11) {
            shell->menuCommand(shell::cmdQuit);
            EXPECT_EQ(shell->driver, nullptr); // at once
        }
    };
    run();
    EXPECT_TRUE(dialogs.empty());
    EXPECT_GT(h.presentCount, 0); // the frozen board is drawn
    EXPECT_EQ(pass, 11);          // the quit message ended the loop
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(h.exitCode, 0);
}

TEST_F(MainLoop, OffersEachNewBestOnceWhateverTheAnswer) {
    // Each game scores 5 a update for `updates` updates, then ends; the user answers the
    // question (if it comes) with `answer` and starts the next game some passes later.
    struct Round {
        int updates;
        int answer; // 1 "Ja", 2 "Nej" (also Escape and the close box)
        bool offered;
    };
    const std::vector<Round> rounds = {
        {100, shell::idOk, true},      // 500: the first best
        {60, shell::idOk, false},      // 300: below the best
        {120, shell::idCancel, true},  // 600
        {120, shell::idOk, false},     // 600 again: offered already
        {100, shell::idCancel, false}, // 500
        {121, shell::idOk, true},      // 605
    };
    std::size_t round = 0;
    int overPass = 0;
    int overGame = 1;           // the game whose end was seen last (the frozen first one: no end)
    std::vector<int> endPasses; // the pass in which each round's game ended
    Millis lastPlayTime = 0;    // the last game's play time when it ended
    next = {5, -1};
    answers[shell::questionDialogId] = 0; // set per round
    whileOpen = [&](DialogView&) {
        ASSERT_LT(round, rounds.size());
        answers[shell::questionDialogId] = rounds[round].answer;
    };
    eachPass = [&] {
        if (built == 1 && pass == 2) {
            next = {5, rounds[0].updates * 1};
            h.tap(Key::F1);
        }
        if (built > overGame && driver().gameOver) {
            overPass = pass;
            overGame = built;
            endPasses.push_back(pass);
            lastPlayTime = h.now() - driver().startTime;
        }
        if (overPass != 0 && pass == overPass + 3) {
            ++round;
            overPass = 0;
            if (round == rounds.size()) {
                shell->windowDestroyed();
                return;
            }
            next = {5, rounds[round].updates};
            h.tap(Key::F1);
        }
    };
    answers[shell::highscoreDialogId] = shell::idCancel;
    run();
    std::vector<std::size_t> offered; // the rounds whose end brought the question
    std::size_t yes = 0;
    for (std::size_t r = 0; r < rounds.size(); ++r) {
        if (rounds[r].offered) {
            offered.push_back(r);
            yes += rounds[r].answer == shell::idOk ? 1 : 0;
        }
    }
    std::size_t questions = 0, logins = 0;
    for (std::size_t i = 0; i < dialogs.size(); ++i) {
        const DialogSeen& d = dialogs[i];
        if (d.templateId == shell::highscoreDialogId) {
            // A "Ja" opens the highscore dialog right after the question, in the same pass.
            ++logins;
            ASSERT_GT(i, 0u);
            EXPECT_EQ(dialogs[i - 1].templateId, shell::questionDialogId);
            EXPECT_EQ(dialogs[i - 1].pass, d.pass);
            continue;
        }
        EXPECT_EQ(d.templateId, shell::questionDialogId);
        // On the pass after the game ended.
        EXPECT_EQ(d.pass, endPasses.at(offered.at(questions)) + 1);
        ++questions;
    }
    EXPECT_EQ(questions, offered.size());
    EXPECT_EQ(logins, yes);
    EXPECT_EQ(session.lastOfferedScore, 605);
    EXPECT_EQ(best(), 605);
    // Taken when the best was reached, in the pass that ended the last game.
    EXPECT_EQ(session.playTimeAtBest, lastPlayTime);
}

TEST_F(MainLoop, TheBestScoreFollowsTheScoreLive) {
    eachPass = [&] {
        if (pass == 1) {
            next = {5, -1};
            h.tap(Key::F1);
        }
        if (pass >= 3 && pass <= 20) {
            EXPECT_EQ(best(), game().points.value());
            EXPECT_EQ(shell->session.playTimeAtBest, h.now() - driver().startTime);
        }
        if (pass == 20) {
            EXPECT_EQ(best(), 5 * 2 * 18); // the game began in pass 3
            next = {0, -1};                // a new game that scores nothing leaves the best alone
            h.tap(Key::F1);
        }
        if (pass == 30) {
            EXPECT_EQ(best(), 5 * 2 * 19); // the old game ran one frame more before F1 was seen
            EXPECT_EQ(game().points.value(), 0);
            EXPECT_LT(shell->session.playTimeAtBest, h.now() - driver().startTime + 1000);
            shell->menuCommand(shell::cmdQuit);
        }
    };
    run();
    EXPECT_TRUE(dialogs.empty()); // the games never ended
}

TEST_F(MainLoop, TheInformationDialogOpensOnceAndTheGameResumesWithoutCatchingUp) {
    Millis afterDialog = 0;
    eachPass = [&] {
        if (pass == 1) {
            next = {1, -1};
            h.tap(Key::F1);
        }
        if (pass == 10) {
            shell->menuCommand(shell::cmdCompetitionRules);
        }
        if (pass == 11) {
            afterDialog = h.now();
        }
        if (pass == 16) {
            // The 5 s in the dialog are neither caught up nor counted: the frames keep pace.
            EXPECT_EQ(h.now() - afterDialog, 5 * 40u);
            shell->menuCommand(shell::cmdQuit);
        }
    };
    whileOpen = [&](DialogView&) { h.advance(5000); };
    answers[shell::infoDialogId] = shell::idOk;
    run();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].pass, 11);
    EXPECT_EQ(dialogs[0].text, infoText(1));
}

// The close box ends the run at once, in a plain pass or while a dialog is open (0: no
// dialog); after it every menu command, a regained palette and a pass do nothing.
TEST_F(MainLoop, TheWindowGoingAwayEndsThePassAndLeavesNothingToAct) {
    for (const int command : {0, int{shell::cmdRules}, int{shell::cmdRegisterHighscore}}) {
        SCOPED_TRACE(command);
        pass = 0;
        h.quitPosted = false;
        const auto close = [&] {
            shell->windowDestroyed();
            EXPECT_EQ(shell->driver, nullptr);
            EXPECT_TRUE(h.quitPosted);
            for (const shell::MenuItem& item : shell::menu) {
                shell->menuCommand(item.id);
            }
            shell->paletteRegained();
            shell->runPass();
        };
        eachPass = [&] {
            if (pass == 2) {
                command == 0 ? close() : shell->menuCommand(command); // a dialog: the next pass
            }
        };
        whileOpen = [&](DialogView&) { close(); };
        run();
        EXPECT_EQ(pass, 2);
        EXPECT_EQ(exitCode, 0);
    }
}

// --- the menu, command by command ---

// Every item of the menu does something when chosen; the highscore only after a game.
TEST(MenuCommands, EveryItemActsAndTheHighscoreOnlyAfterAGame) {
    const auto choose = [](int id, bool over, HeadlessPlatform& h) {
        Shell shell(idleGames(), headlessSeams(h, unusedHttp));
        shell.driver->gameOver = over;
        shell.menuCommand(id);
        if (shell.driver == nullptr) {
            return h.quitPosted; // quit: at once
        }
        bool requested = false;
        for (ShellRequest r : {ShellRequest::OfferSubmit, ShellRequest::Login, ShellRequest::Info,
                               ShellRequest::Restart}) {
            requested = requested || shell.driver->requests.waiting(r);
        }
        return requested || !h.urls.empty();
    };
    for (const shell::MenuItem& item : shell::menu) {
        HeadlessPlatform h;
        EXPECT_TRUE(choose(item.id, true, h)) << item.id;
    }
    for (int id : {int{shell::cmdRegisterHighscore}, 12345, int{shell::idOk}}) {
        HeadlessPlatform h;
        EXPECT_FALSE(choose(id, id == shell::cmdRegisterHighscore ? false : true, h)) << id;
    }
}

TEST(MenuCommands, RegainingThePaletteAsksForItOnTheNextPresent) {
    HeadlessPlatform h;
    Shell shell(idleGames(), headlessSeams(h, unusedHttp));
    ScreenBuffer& screen = shell.driver->screen();
    EXPECT_TRUE(screen.paletteRefreshPending); // the run starts with one
    screen.paletteRefreshPending = false;
    shell.paletteRegained();
    EXPECT_TRUE(screen.paletteRefreshPending);
}

// --- the dialog logic on its own ---

TEST(DialogLogic, TextsCommandsEndRaiseAndResumeAsTheirRowSays) {
    enum Which { Info, Question };
    struct Row {
        Which dialog;
        bool offer; // the offer is waiting while the dialog is open
        int command;
        bool ended, login, resumed;
        std::int32_t selector; // the information text chosen
    };
    const std::vector<Row> rows = {
        {Info, false, shell::idOk, true, false, true, 0},
        {Info, false, shell::idCancel, false, false, false, 1}, // Escape is ignored
        {Info, false, shell::idText, false, false, false, 2},
        {Info, true, shell::idOk, true, false, true, 1},
        {Question, true, shell::idOk, true, true, false, 0},
        {Question, false, shell::idOk, true, false, false, 0},
        {Question, true, shell::idCancel, true, false, false, 0},
        {Question, true, shell::idNewUser, false, false, false, 0},
        {Question, true, shell::idText, false, false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << (row.dialog == Info ? "info " : "question ")
                                          << row.command << (row.offer ? " offered" : ""));
        HeadlessPlatform h;
        h.setClock(1000);
        Shell shell(idleGames(), headlessSeams(h, unusedHttp));
        shell.session.infoTextSelector = row.selector;
        GameDriver& driver = *shell.driver;
        driver.runFrame();
        driver.runFrame(); // waits and draws: the frame buffer exists
        if (row.offer) {
            driver.requests.post(ShellRequest::OfferSubmit);
        }
        const Millis start = driver.startTime;
        const int presents = h.presentCount;

        InfoDialog info(shell);
        QuestionDialog question(shell);
        DialogLogic& logic = row.dialog == Info ? static_cast<DialogLogic&>(info) : question;
        RecordingDialogView view;
        logic.init(view);
        // The information text chosen; the question's texts only while an offer is open.
        if (row.dialog == Info) {
            EXPECT_EQ(view.itemText(shell::idText), infoText(row.selector));
        } else {
            EXPECT_EQ(view.itemText(shell::idText),
                      row.offer ? "Vill du skicka din highscore till Internet?" : "");
        }
        EXPECT_EQ(view.caption, row.dialog == Question && row.offer ? "Registrera" : "");
        h.advance(3000); // the user reads for a while
        logic.command(view, row.command);

        EXPECT_EQ(view.ended, row.ended);
        EXPECT_EQ(driver.requests.waiting(ShellRequest::Login), row.login);
        EXPECT_EQ(driver.startTime != start, row.resumed);
        if (row.resumed) {
            // The next frame is due now.
            EXPECT_EQ(driver.startTime + 40u * driver.frameCount, h.now());
        }
        EXPECT_EQ(h.presentCount, presents + 2); // the frame behind, on each message
    }
}

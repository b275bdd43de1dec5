// The entry and the main loop. The entry creates the GameDriver (its first game frozen
// with "GAME OVER"), sets up the highscore bookkeeping and runs passes until the quit
// message arrives. One pass: offer to send a new best score once the game is over; open
// whichever dialog is requested, in the fixed order question, login, information; run one
// frame; let the best score follow the score; poll F1; handle at most one window message.
// The loop never waits for messages: the frame's wait sets the pace.
#pragma once

#include "app/game_driver.h"
#include "net/highscore_record.h"
#include "platform/http_client.h"

// Runs the program, sending highscores through `http`; returns its exit code (0 after
// quit).
int runPingel(GameDriver::Factory makeGame, HttpClient& http);

// One pass of the loop without its message; nothing once the driver is gone. The
// highscore dialog sends `record` through `http`.
void runMainLoopPass(HttpClient& http, HighscoreRecord& record);

// Destroys the GameDriver and its game at once and posts the quit message. Never called
// inside a frame.
void quit();

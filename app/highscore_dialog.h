// The highscore login: asks for the portal account and sends the best score. The main
// loop runs it when loginRequested is set and clears the flag when it returns.
#pragma once

void runHighscoreDialog();

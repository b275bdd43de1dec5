// The highscore login dialog. (Being written; until it lands the request is consumed and
// nothing opens.)
#include "app/highscore_dialog.h"

void runHighscoreDialog() {}

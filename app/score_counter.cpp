// The current game's score display. The World points it at its score counter when it is
// built; until the first World it is null.
#include "game/counter.h"

CounterDisplay* scoreCounter = nullptr;

// The shell's run-long state; see session.h.
#include "app/session.h"

std::int32_t lastOfferedScore = 0;
Millis playTimeAtBest = 0;
bool tamperedAtBest = false;
std::int32_t infoTextSelector = 0;
CounterDisplay* scoreCounter = nullptr;

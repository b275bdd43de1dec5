// The process-wide game objects that outlive every World, defined in one place so that they
// are built in this order before the entry runs and destroyed in reverse at exit: the best
// score first, then the four object lists.
#include "game/counter.h"
#include "game/object_list.h"

bool scoreTampered = false;
CounterDisplay bestScore;
ObjectList allObjects;
ObjectList enemyList;
ObjectList pelletList;
ObjectList pillList;

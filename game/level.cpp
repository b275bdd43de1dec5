// Laying out a level: every level is the same board. What is left of the last one (pellets,
// pills, butterflies) is destroyed, the 98 pellets and 4 pills of the layout table are
// placed afresh, and the penguin goes back to his start. Butterflies are not made here: the
// World's update brings them one per update.
#include "game/level_layout.h"
#include "game/object_list.h"
#include "game/pellet.h"
#include "game/player.h"
#include "game/world.h"

void World::setupLevel() {
    for (ObjectList* list : {&pelletList, &pillList, &enemyList}) {
        list->markAll();
        list->purge();
    }
    allObjects.purge();

    for (const ItemPosition& at : level_layout::pellets) {
        addObject(Kind::Pellet, new Pellet(pelletImage.get(), at.x, at.y, *player, *scoreDisplay));
    }
    for (const ItemPosition& at : level_layout::pills) {
        addObject(Kind::PowerPill, new PowerPill(pillImage.get(), at.x, at.y, *player, sounds));
    }
    player->reset();
}

// Eating: the item's centre against the player's rectangle, with the margins of liesWithin.
#include "game/pellet.h"

#include "game/player.h"
#include "game/resource_ids.h"
#include "game/world.h"
#include "platform/platform.h"

namespace {
constexpr int pelletScore = 6; // raw: a Counter's add(k) adds k - 1, here 5 points

// Whether the player reaches an item this update; a dead item or a dead player eats nothing.
bool eatenByPlayer(const ActiveActor& item) {
    return player != nullptr && !player->removalPending && !item.removalPending &&
           item.liesWithin(player->box);
}
} // namespace

Pellet::Pellet(Image* spriteImage, ScreenBuffer* screenBuffer, float x, float y)
    : ActiveActor(spriteImage, screenBuffer) {
    setPosition(x, y);
}

Pellet::~Pellet() = default;

void Pellet::update() {
    if (!eatenByPlayer(*this)) {
        return;
    }
    if (scoreCounter != nullptr) {
        scoreCounter->add(pelletScore);
    }
    removalPending = true;
}

PowerPill::PowerPill(Image* spriteImage, ScreenBuffer* screenBuffer, float x, float y)
    : ActiveActor(spriteImage, screenBuffer) {
    setPosition(x, y);
}

PowerPill::~PowerPill() = default;

void PowerPill::update() {
    if (!eatenByPlayer(*this)) {
        return;
    }
    platform().playSound(resource_ids::soundEaten, SoundMode::Async);
    removalPending = true;
    player->powerUp();
}

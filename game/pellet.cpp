// Eating: the item's centre against the player's rectangle, with the margins of liesWithin.
#include "game/pellet.h"

#include "game/counter.h"
#include "game/player.h"
#include "gfx/resource_ids.h"

namespace {
constexpr int pelletScore = 5;

// Whether the player reaches an item this update; a dead item or a dead player eats nothing.
bool eatenBy(const Player& player, const ActiveActor& item) {
    return !player.removalPending && !item.removalPending && item.liesWithin(player.box);
}
} // namespace

Pellet::Pellet(Image* spriteImage, float x, float y, const Player& player, Counter& score)
    : ActiveActor(spriteImage), player_(player), score_(score) {
    setPosition(x, y);
}

Pellet::~Pellet() = default;

void Pellet::update() {
    if (!eatenBy(player_, *this)) {
        return;
    }
    score_.add(pelletScore);
    removalPending = true;
}

PowerPill::PowerPill(Image* spriteImage, float x, float y, Player& player,
                     std::vector<SoundCue>& sounds)
    : ActiveActor(spriteImage), player_(player), sounds_(sounds) {
    setPosition(x, y);
}

PowerPill::~PowerPill() = default;

void PowerPill::update() {
    if (!eatenBy(player_, *this)) {
        return;
    }
    sounds_.push_back({resource_ids::soundEaten, SoundMode::Async});
    removalPending = true;
    player_.powerUp();
}

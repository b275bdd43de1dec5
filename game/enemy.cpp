// One update of a butterfly, and its random choice of a preferred direction.
//
// The chase and flight rules form one table: where the butterfly stands relative to the
// player, which pixel it tests, and which way it then moves. They are tried in order and
// the first that holds decides. A rule looks only at the first pixel of the way, not at
// whether the track leads all the way to the player.
#include "game/enemy.h"

#include "game/counter.h"
#include "game/player.h"
#include "game/random.h"
#include "gfx/resource_ids.h"

namespace {
enum class Side { above, below, leftOf, rightOf };

struct SightRule {
    Side side;    // where the butterfly stands relative to the player (strictly)
    float dx, dy; // the step it tests and takes, in units of its speed
    bool powered; // the rule applies in power mode (flight) or outside it (chase)
};

constexpr SightRule sightRules[] = {
    {Side::above, 0, +1, false},   {Side::above, 0, -1, true},   // chase down, flee up
    {Side::below, 0, -1, false},   {Side::below, 0, +1, true},   // chase up, flee down
    {Side::leftOf, +1, 0, false},  {Side::leftOf, -1, 0, true},  // chase right, flee left
    {Side::rightOf, -1, 0, false}, {Side::rightOf, +1, 0, true}, // chase left, flee right
};

// chooseDirection: r div 8191 picks one candidate; q = 4 (r >= 32764) picks none.
constexpr int choiceSpan = 8191;
struct Choice {
    float dx, dy; // the candidate preferred direction
};
constexpr Choice choices[] = {{0, -1}, {+1, 0}, {0, +1}, {-1, 0}};

constexpr int eatenScore = 100;
} // namespace

Enemy::Enemy(Image* const spriteSet[4], const Maze& maze, Player& player, Counter& score,
             GameRandom& random, std::vector<SoundCue>& sounds)
    : ActiveActor(spriteSet, maze), player_(player), score_(score), random_(random),
      sounds_(sounds) {
    reset();
}

Enemy::~Enemy() = default;

void Enemy::reset() {
    setPosition(startX, startY);
    velocity = {1, 0};
    preferredDirection = {1, 0};
    setSprite(sprites[right]);
    visible = false;
    startDelay = 0;
    turnCounter = 0;
}

void Enemy::chooseDirection() {
    chooseDirection(random_.next());
}

void Enemy::chooseDirection(int r) {
    const int q = r / choiceSpan;
    if (q < 0 || q > 3) {
        return;
    }
    const Choice& c = choices[q];
    // A candidate straight back is refused while the way ahead is open at full speed (the
    // way ahead being the pixel opposite the candidate).
    const bool reverses = (c.dx != 0 && velocity.x == -c.dx) || (c.dy != 0 && velocity.y == -c.dy);
    if (reverses && walkable(position.x - c.dx, position.y - c.dy)) {
        return;
    }
    preferredDirection = {c.dx, c.dy};
}

bool Enemy::followPlayer(float speed, bool powered) {
    const float x = position.x, y = position.y;
    const float px = player_.position.x, py = player_.position.y;
    const bool sameColumn = static_cast<int>(x) == static_cast<int>(px);
    const bool sameRow = static_cast<int>(y) == static_cast<int>(py);
    for (const SightRule& rule : sightRules) {
        bool holds = false;
        switch (rule.side) {
        case Side::above:
            holds = y < py && sameColumn;
            break;
        case Side::below:
            holds = y > py && sameColumn;
            break;
        case Side::leftOf:
            holds = x < px && sameRow;
            break;
        case Side::rightOf:
            holds = x > px && sameRow;
            break;
        }
        if (holds && rule.powered == powered && walkable(x + rule.dx, y + rule.dy)) {
            velocity = {rule.dx * speed, rule.dy * speed};
            moveBy(velocity.x, velocity.y);
            return true;
        }
    }
    return false;
}

void Enemy::update() {
    if (player_.caught || removalPending) {
        return;
    }
    const bool powered = player_.powered;
    blinking = powered;

    if (visible && overlaps(player_)) {
        if (powered) {
            removalPending = true;
            score_.add(eatenScore);
            sounds_.push_back({resource_ids::soundEaten, SoundMode::Async});
        } else {
            // The whole program stands still while the sound plays; the World tells the
            // driver so after this update.
            player_.caught = true;
            sounds_.push_back({resource_ids::soundCaught, SoundMode::Sync});
        }
        return;
    }

    if (startDelay < waitUpdates) {
        ++startDelay;
        return;
    }
    if (turnCounter < turnPeriod) {
        ++turnCounter;
    } else {
        turnCounter = 0;
        visible = true;
        chooseDirection();
    }

    const float speed = powered ? 0.5f : 1.0f;
    if (!followPlayer(speed, powered)) {
        const float x = position.x, y = position.y;
        if (walkable(x + preferredDirection.x, y + preferredDirection.y)) {
            velocity = {speed * preferredDirection.x, speed * preferredDirection.y};
            moveBy(velocity.x, velocity.y);
        } else if (walkable(x + velocity.x, y + velocity.y)) {
            moveBy(velocity.x, velocity.y);
        } else {
            chooseDirection();
        }
    }

    wrapAndFace(velocity);
}

// The World's construction, its update and its render, with the layout of the side panel
// and the banners. setupLevel lives in level.cpp.
//
// addObject keeps allObjects in drawing order: the player, pellets and pills go to its
// front, enemies to its back, and each kind list gets its new item at the front. As the
// player is added before a level's pellets and pills, the order is always pills, pellets,
// player, enemies (oldest first), and the butterflies are drawn over the penguin.
#include "game/world.h"

#include "game/enemy.h"
#include "game/player.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"

#include <algorithm>
#include <cstdint>

namespace {
struct Point {
    int x, y;
};

// Where things go on the screen (frame-buffer pixels, top-left of each image).
constexpr Point backgroundAt = {0, 0};
constexpr Point levelBannerAt = {58, 260};
constexpr Point gameOverAt = {100, 63};

struct DisplayLayout {
    Point anchor;
    std::int32_t spacing;
    std::int32_t alignment;
    std::int32_t initialValue;
};
constexpr DisplayLayout scoreLayout = {{389, 95}, 1, CounterDisplay::centred, 0};
constexpr DisplayLayout levelLayout = {{389, 145}, 1, CounterDisplay::centred, 1};
constexpr DisplayLayout livesLayout = {{348, 190}, 0, CounterDisplay::fromLeft, 3};
constexpr std::int32_t maximumLifeIcons = 6;
constexpr int livesIcon = 1; // the right-facing penguin

constexpr std::int64_t pointsPerExtraLife = 10000;
constexpr int firstBannerLevel = 2, lastBannerLevel = 10;

template <std::size_t N>
void loadImages(std::array<World::ImagePtr, N>& images, const std::array<int, N>& ids,
                const Resources& resources) {
    for (std::size_t i = 0; i < N; ++i) {
        images[i] = std::make_unique<Image>(resources, ids[i]);
    }
}

template <std::size_t N> std::array<Image*, N> raw(const std::array<World::ImagePtr, N>& images) {
    std::array<Image*, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = images[i].get();
    }
    return out;
}

std::unique_ptr<CounterDisplay> placed(std::unique_ptr<CounterDisplay> display,
                                       const DisplayLayout& layout) {
    display->setPosition(layout.anchor.x, layout.anchor.y);
    display->spacing = layout.spacing;
    display->alignment = layout.alignment;
    display->set(layout.initialValue);
    return display;
}
} // namespace

World::World(Millis seed, const Resources& resources) : random(seed), recording_(seed) {
    gameOver = false;

    std::array<int, 10> digitIds{};
    for (int d = 0; d < 10; ++d) {
        digitIds[d] = resource_ids::digitZero + d;
    }
    loadImages(digitImages, digitIds, resources);
    loadImages(playerImages, resource_ids::playerSprites, resources);
    loadImages(enemyImages, resource_ids::enemySprites, resources);
    loadImages(levelBannerImages, resource_ids::levelBanners, resources);
    pelletImage = std::make_unique<Image>(resources, resource_ids::pellet);
    pillImage = std::make_unique<Image>(resources, resource_ids::pill);
    gameOverImage = std::make_unique<Image>(resources, resource_ids::gameOverBanner);
    backgroundImage = std::make_unique<Image>(resources, resource_ids::background);

    const std::array<Image*, 10> digits = raw(digitImages);
    scoreDisplay = placed(std::make_unique<CounterDisplay>(digits.data()), scoreLayout);
    levelDisplay = placed(std::make_unique<CounterDisplay>(digits.data()), levelLayout);
    livesDisplay =
        placed(std::make_unique<CounterDisplay>(playerImages[livesIcon].get(), maximumLifeIcons),
               livesLayout);
    extraLifeCounter.set(0);

    const std::array<Image*, 4> sprites = raw(playerImages);
    player = new Player(sprites.data(), maze, controller);
    addObject(Kind::Player, player);

    setupLevel();
    startSoundPending = true;
}

World::~World() = default;

void World::addObject(Kind kind, ActiveActor* actor) {
    switch (kind) {
    case Kind::Player:
        allObjects.insert(actor, 0);
        break;
    case Kind::Enemy:
        allObjects.insert(actor, allObjects.size());
        enemyList.insert(actor, 0);
        break;
    case Kind::Pellet:
        allObjects.insert(actor, 0);
        pelletList.insert(actor, 0);
        break;
    case Kind::PowerPill:
        allObjects.insert(actor, 0);
        pillList.insert(actor, 0);
        break;
    }
}

void World::updateAll(ObjectList& list) {
    list.rewind();
    while (ListedObject* item = list.next()) {
        static_cast<ActiveActor*>(item)->update();
    }
}

void World::addEnemy() {
    const std::array<Image*, 4> sprites = raw(enemyImages);
    addObject(Kind::Enemy, new Enemy(sprites.data(), maze, *player, *scoreDisplay, random, sounds));
}

void World::loseLife() {
    player->caught = false;
    livesDisplay->add(-1);
    enemyList.markAll();
    enemyList.purge();
    allObjects.purge();
    player->reset();
}

bool World::tampered() const {
    return scoreDisplay->tampered() || levelDisplay->tampered() || livesDisplay->tampered() ||
           extraLifeCounter.tampered();
}

void World::update(const ArrowKeys& keys) {
    sounds.clear();
    if (gameOver) {
        return;
    }
    recording_.add(keys);
    const std::int32_t scoreBefore = scoreDisplay->value();
    step(keys);
    if (scoreDisplay->value() != scoreBefore) {
        scoreReachedAt_ = recording_.updates();
    }
}

void World::step(const ArrowKeys& keys) {
    if (startSoundPending) {
        sounds.push_back({resource_ids::soundStart, SoundMode::Async});
        startSoundPending = false;
    }
    controller.take(keys);
    player->update();
    updateAll(pelletList);
    updateAll(pillList);

    // One extra life each time the score passes a further multiple of 10000, at most one
    // per update. (64-bit: the product must not overflow on an absurd score.)
    if (pointsPerExtraLife * (std::int64_t{extraLifeCounter.value()} + 1) < scoreDisplay->value()) {
        extraLifeCounter.add(1);
        livesDisplay->add(1);
    }

    updateAll(enemyList);

    allObjects.purge();
    enemyList.purge();
    pelletList.purge();
    pillList.purge();

    // Butterflies arrive one per update until the level has its number plus one.
    if (enemyList.size() <= levelDisplay->value()) {
        addEnemy();
    }

    if (pelletList.size() == 0 && pillList.size() == 0) {
        levelDisplay->add(1);
        setupLevel();
    }

    if (player->caught) {
        // The caught sound holds the program still: the driver must not catch up the
        // frames it misses meanwhile.
        stalled = true;
        if (livesDisplay->value() <= 0) {
            gameOver = true;
            return;
        }
        loseLife();
    }
}

void World::render(ScreenBuffer& screen) {
    screen.initialise();
    screen.draw(*backgroundImage, backgroundAt.x, backgroundAt.y);
    allObjects.rewind();
    while (ListedObject* item = allObjects.next()) {
        static_cast<Actor*>(item)->draw(screen);
    }
    scoreDisplay->draw(screen);
    levelDisplay->draw(screen);
    livesDisplay->draw(screen);

    const std::int32_t level = levelDisplay->value();
    if (level >= firstBannerLevel) {
        const std::int32_t shown = std::min(level, std::int32_t{lastBannerLevel});
        screen.draw(*levelBannerImages[shown - firstBannerLevel], levelBannerAt.x, levelBannerAt.y);
    }
    if (gameOver) {
        screen.draw(*gameOverImage, gameOverAt.x, gameOverAt.y);
    }
    screen.present();
}

std::unique_ptr<Game> makeWorld(Millis seed, const Resources& resources) {
    return std::make_unique<World>(seed, resources);
}

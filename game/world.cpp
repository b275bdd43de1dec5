// The World's construction, its update and its render, with the layout of the side panel
// and the banners. setupLevel lives in level.cpp.
//
// addObject keeps allObjects in drawing order: the player, pellets and pills go to its
// front, enemies to its back, and each kind list gets its new item at the front. As the
// player is added before a level's pellets and pills, the order is always pills, pellets,
// player, enemies (oldest first), and the butterflies are drawn over the penguin.
#include "game/world.h"

#include "game/enemy.h"
#include "game/object_list.h"
#include "game/player.h"
#include "game/random.h"
#include "game/resource_ids.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdint>

// scoreCounter is defined with the shell's session state (app/session.cpp), which reads it.
CounterDisplay* levelCounter = nullptr;
CounterDisplay* livesCounter = nullptr;
Player* player = nullptr;

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
    std::int32_t initialRaw; // raw Counter numbers: value + 1
};
constexpr DisplayLayout scoreLayout = {{389, 95}, 1, CounterDisplay::centred, 1};   // 0
constexpr DisplayLayout levelLayout = {{389, 145}, 1, CounterDisplay::centred, 2};  // 1
constexpr DisplayLayout livesLayout = {{348, 190}, 0, CounterDisplay::fromLeft, 4}; // 3
constexpr std::int32_t maximumLifeIcons = 6;
constexpr int livesIcon = 1; // the right-facing penguin

constexpr int screenWidth = 424, screenHeight = 271;
constexpr std::int64_t pointsPerExtraLife = 10000;
constexpr int firstBannerLevel = 2, lastBannerLevel = 10;

// Worlds are numbered as they are built; the pointers published are the last one's. (An
// address cannot tell: a new World may reuse the memory of the player it destroyed.)
std::uint64_t worldsBuilt = 0;
std::uint64_t publisher = 0;

template <std::size_t N>
void loadImages(std::array<World::ImagePtr, N>& images, const std::array<int, N>& ids) {
    for (std::size_t i = 0; i < N; ++i) {
        images[i] = std::make_unique<Image>(ids[i]);
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
    display->set(layout.initialRaw);
    return display;
}
} // namespace

World::World() : serial_(++worldsBuilt) {
    publisher = serial_;
    allObjects.clear();
    enemyList.clear();
    pelletList.clear();
    pillList.clear();

    scoreTampered = false;
    game_random::srand(platform().now());
    gameOver = false;

    screen = std::make_unique<ScreenBuffer>(screenWidth, screenHeight);
    screenBuffer = screen.get();

    std::array<int, 10> digitIds{};
    for (int d = 0; d < 10; ++d) {
        digitIds[d] = resource_ids::digitZero + d;
    }
    loadImages(digitImages, digitIds);
    loadImages(playerImages, resource_ids::playerSprites);
    loadImages(enemyImages, resource_ids::enemySprites);
    loadImages(levelBannerImages, resource_ids::levelBanners);
    pelletImage = std::make_unique<Image>(resource_ids::pellet);
    pillImage = std::make_unique<Image>(resource_ids::pill);
    gameOverImage = std::make_unique<Image>(resource_ids::gameOverBanner);
    backgroundImage = std::make_unique<Image>(resource_ids::background);

    const std::array<Image*, 10> digits = raw(digitImages);
    scoreDisplay =
        placed(std::make_unique<CounterDisplay>(digits.data(), screenBuffer), scoreLayout);
    scoreCounter = scoreDisplay.get();
    levelDisplay =
        placed(std::make_unique<CounterDisplay>(digits.data(), screenBuffer), levelLayout);
    levelCounter = levelDisplay.get();
    livesDisplay = placed(std::make_unique<CounterDisplay>(playerImages[livesIcon].get(),
                                                           maximumLifeIcons, screenBuffer),
                          livesLayout);
    livesCounter = livesDisplay.get();
    extraLifeCounter.set(1);

    const std::array<Image*, 4> sprites = raw(playerImages);
    auto* penguin = new Player(sprites.data(), screenBuffer);
    penguin->controller = &controller;
    penguin->maze = &maze;
    player = penguin;
    addObject(ObjectKind::Player, penguin);

    setupLevel();
    startSoundPending = true;
}

World::~World() {
    // The actors stay in the lists until the next World clears them; what this World
    // published must not outlive it.
    if (publisher == serial_) {
        screenBuffer = nullptr;
        scoreCounter = levelCounter = livesCounter = nullptr;
        player = nullptr;
        publisher = 0;
    }
    screen.reset();
    backgroundImage.reset();
    gameOverImage.reset();
    pelletImage.reset();
    pillImage.reset();
    for (auto* set : {&playerImages, &enemyImages}) {
        for (ImagePtr& image : *set) {
            image.reset();
        }
    }
    for (ImagePtr& image : digitImages) {
        image.reset();
    }
    for (ImagePtr& image : levelBannerImages) {
        image.reset();
    }
    scoreDisplay.reset();
    levelDisplay.reset();
    livesDisplay.reset();
}

bool World::addObject(ObjectKind kind, ActiveActor* actor) {
    switch (kind) {
    case ObjectKind::Player:
        allObjects.insert(actor, 0);
        break;
    case ObjectKind::Enemy:
        allObjects.insert(actor, allObjects.size());
        enemyList.insert(actor, 0);
        break;
    case ObjectKind::Pellet:
        allObjects.insert(actor, 0);
        pelletList.insert(actor, 0);
        break;
    case ObjectKind::PowerPill:
        allObjects.insert(actor, 0);
        pillList.insert(actor, 0);
        break;
    }
    return true;
}

void World::updateAll(ObjectList& list) {
    list.rewind();
    while (ListedObject* item = list.next()) {
        static_cast<ActiveActor*>(item)->update();
    }
}

void World::addEnemy() {
    const std::array<Image*, 4> sprites = raw(enemyImages);
    auto* enemy = new Enemy(sprites.data(), screenBuffer);
    enemy->maze = &maze;
    addObject(ObjectKind::Enemy, enemy);
}

void World::loseLife() {
    player->caught = false;
    livesCounter->add(0);
    enemyList.markAll();
    enemyList.purge();
    allObjects.purge();
    player->reset();
}

void World::update() {
    if (gameOver) {
        return;
    }
    if (startSoundPending) {
        platform().playSound(resource_ids::soundStart, SoundMode::Async);
        startSoundPending = false;
    }
    controller.poll();
    player->update();
    updateAll(pelletList);
    updateAll(pillList);

    // One extra life each time the score passes a further multiple of 10000, at most one
    // per update. (64-bit: the product must not overflow on an absurd score.)
    if (pointsPerExtraLife * extraLifeCounter.get() < std::int64_t{scoreCounter->get()} - 1) {
        extraLifeCounter.add(2);
        livesCounter->add(2);
    }

    updateAll(enemyList);

    allObjects.purge();
    enemyList.purge();
    pelletList.purge();
    pillList.purge();

    // Butterflies arrive one per update until the level has its number plus one.
    if (enemyList.size() < levelCounter->get()) {
        addEnemy();
    }

    if (pelletList.size() == 0 && pillList.size() == 0) {
        levelCounter->add(2);
        setupLevel();
    }

    if (player->caught) {
        if (livesCounter->get() <= 1) {
            gameOver = true;
            return;
        }
        loseLife();
    }
}

void World::render() {
    screen->initialise();
    screen->draw(*backgroundImage, backgroundAt.x, backgroundAt.y);
    allObjects.rewind();
    while (ListedObject* item = allObjects.next()) {
        static_cast<Actor*>(item)->draw();
    }
    scoreDisplay->draw();
    levelDisplay->draw();
    livesDisplay->draw();

    const std::int32_t level = levelDisplay->get() - 1;
    if (level >= firstBannerLevel) {
        const std::int32_t shown = std::min(level, std::int32_t{lastBannerLevel});
        screen->draw(*levelBannerImages[shown - firstBannerLevel], levelBannerAt.x,
                     levelBannerAt.y);
    }
    if (gameOver) {
        screen->draw(*gameOverImage, gameOverAt.x, gameOverAt.y);
    }
    screen->present();
}

std::unique_ptr<Game> makeWorld() {
    return std::make_unique<World>();
}

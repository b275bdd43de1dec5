// A replay played back; see playback.h.
#include "app/playback.h"

#include "game/world.h"

#include <fstream>

Playback::Playback(replay::Replay replay, const Resources& resources)
    : replay_(std::move(replay)),
      world_(std::make_unique<World>(static_cast<Millis>(replay_.seed), resources)) {
    gameOver = replay_.updates == 0;
}

Playback::~Playback() = default;

void Playback::update(const ArrowKeys&) {
    sounds.clear();
    for (int i = 0; i < (paused_ ? 0 : speed_) && !gameOver; ++i) {
        while (usedOfRun_ == replay_.runs[run_].count) {
            ++run_;
            usedOfRun_ = 0;
        }
        ++usedOfRun_;
        world_->update(replay::arrowsOf(replay_.runs[run_].arrows));
        ++done_;
        sounds.insert(sounds.end(), world_->sounds.begin(), world_->sounds.end());
        stalled = stalled || world_->stalled;
        world_->stalled = false;
        gameOver = done_ == replay_.updates || world_->gameOver;
    }
}

void Playback::render(ScreenBuffer& screen) {
    world_->render(screen);
}

void Playback::setSpeed(int speed) {
    if (speed == 1 || speed == 2 || speed == 4) {
        speed_ = speed;
        paused_ = false;
    }
}

void Playback::togglePause() {
    paused_ = !paused_;
}

PlaybackView Playback::view() const {
    return {true, done_, replay_.updates, speed_, paused_, gameOver};
}

replay::Decoded readReplayFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {std::nullopt, "cannot be read"};
    }
    // One byte more than a replay may have tells a file that is too long.
    std::string bytes(replay::maxBytes + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return {std::nullopt, "cannot be read"};
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return replay::decode(bytes);
}

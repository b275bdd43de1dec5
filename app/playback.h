// A recorded game played back (a replay, game/replay.h): a World seeded with the replay's
// seed and fed its recorded arrows, one set per update, instead of the keyboard's. It
// draws as the World draws and asks for the World's sounds; it is over when the replay's
// updates are done (or the World's game ended), and then stands on the screen like a game
// that is over. It keeps no score for the shell (score() is null): nothing it shows can
// become the session's best score or be sent to the portal.
//
// Its speed is a number of World updates per driver update: 0 (paused), 1, 2 or 4, so
// the driver's frame pacing stays as it is and 2x and 4x simply run more updates a frame.
#pragma once

#include "game/game.h"
#include "game/replay.h"
#include "platform/window.h"

#include <memory>
#include <string>

class Resources;
class World;

class Playback : public Game {
  public:
    Playback(replay::Replay replay, const Resources& resources);
    ~Playback() override;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Ignores the keys: the next updates of the replay, as many as the speed asks for.
    void update(const ArrowKeys& keys) override;
    void render(ScreenBuffer& screen) override;

    // 1, 2 or 4 updates per driver update; anything else is ignored. Ends a pause.
    void setSpeed(int speed);
    void togglePause();
    // What the window shows beside the picture.
    PlaybackView view() const;

  private:
    replay::Replay replay_;
    std::unique_ptr<World> world_;
    std::uint32_t done_ = 0;
    std::size_t run_ = 0;         // the input run in force
    std::uint32_t usedOfRun_ = 0; // updates of it already taken
    int speed_ = 1;
    bool paused_ = false;
};

// A replay read from a file: at most replay::maxBytes are read, and the bytes go through
// replay::decode. The reason is empty when the replay was read; otherwise it says why not
// (the file cannot be read, is too long, or is not a replay, with the decoder's reason).
replay::Decoded readReplayFile(const std::string& path);

// The keys the program reads: the four arrows that steer, and F1 that starts a new game.
#pragma once

enum class Key { Left, Right, Up, Down, F1 };

class Keyboard {
  public:
    virtual ~Keyboard() = default;
    // True when the key is down now or was pressed since the previous query of that key.
    virtual bool keyPressed(Key key) = 0;
    // Whether the player asks for a new game: F1, or whatever else the system offers for
    // it (a tap on the board in the browser counts only while `gameOver`).
    virtual bool newGameAsked(bool gameOver) {
        (void)gameOver;
        return keyPressed(Key::F1);
    }
};

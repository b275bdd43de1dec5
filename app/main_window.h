// What the main window does with the messages that reach it, whatever the platform: a menu
// command, the window being destroyed (the close box, Alt-F4), the window regaining the
// palette. A backend calls these while it handles a message in pumpMessage, never inside a
// frame. The menu never opens a dialog itself: it raises a GameDriver flag, and the main
// loop opens the dialog on its next pass.
#pragma once

// A menu command (ids in shell_resources.h); other ids are ignored.
void windowCommand(int id);
// The main window is going away: quit.
void windowDestroyed();
// The window regained palette focus: the next present applies the palette again.
void windowRegainedPalette();

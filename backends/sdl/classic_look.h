// The look of the menu and the dialogs: grey raised panels, dark text, a dark blue caption
// bar, sunken white edit fields, the way desktop programs of the game's time looked, in
// place of Dear ImGui's own dark theme. The style sets what Dear ImGui draws itself; the
// helpers draw the bevels, buttons and frames it has no widget for.
#pragma once

#include <imgui.h>

namespace classic {

constexpr ImU32 face = IM_COL32(192, 192, 192, 255);      // panels and buttons
constexpr ImU32 light = IM_COL32(255, 255, 255, 255);     // lit edges
constexpr ImU32 lightFace = IM_COL32(223, 223, 223, 255); // the inner lit edge
constexpr ImU32 shadow = IM_COL32(128, 128, 128, 255);    // shaded edges
constexpr ImU32 darkShadow = IM_COL32(0, 0, 0, 255);      // the outer shaded edge
constexpr ImU32 text = IM_COL32(0, 0, 0, 255);
constexpr ImU32 greyText = IM_COL32(128, 128, 128, 255);
constexpr ImU32 window = IM_COL32(255, 255, 255, 255); // edit fields
constexpr ImU32 captionLeft = IM_COL32(0, 0, 128, 255);
constexpr ImU32 captionRight = IM_COL32(16, 132, 208, 255);
constexpr ImU32 captionText = IM_COL32(255, 255, 255, 255);

// Sets the colours, borders and spacing; the menu bar is menuBarHeight pixels high.
void applyStyle(ImGuiStyle& style, float fontSize, float menuBarHeight);

// Two-pixel bevels inside the rectangle [min, max).
void raised(ImDrawList* draw, ImVec2 min, ImVec2 max);
void sunken(ImDrawList* draw, ImVec2 min, ImVec2 max);
// The etched line of a group box.
void etched(ImDrawList* draw, ImVec2 min, ImVec2 max);

// A push button at a screen position; true when it was clicked. The default button has a
// black outline; a disabled one (inside ImGui::BeginDisabled) an etched grey caption. The
// id must be unique within the window.
bool button(const char* id, const char* caption, ImVec2 pos, ImVec2 size, bool isDefault,
            bool enabled = true);

// The caption bar with its text, and a close box when asked for; true when the close box
// was clicked.
bool captionBar(const char* caption, ImVec2 min, ImVec2 max, bool closeBox);

} // namespace classic

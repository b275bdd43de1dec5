// Drawing the classic look; see classic_look.h.
#include "backends/sdl/classic_look.h"

#include <initializer_list>

namespace classic {

namespace {
ImVec4 colour(ImU32 c) {
    return ImGui::ColorConvertU32ToFloat4(c);
}
// One-pixel lines along the top-left and the bottom-right of [min, max).
void edges(ImDrawList* draw, ImVec2 min, ImVec2 max, ImU32 topLeft, ImU32 bottomRight) {
    draw->AddRectFilled(min, ImVec2(max.x, min.y + 1), topLeft);
    draw->AddRectFilled(min, ImVec2(min.x + 1, max.y), topLeft);
    draw->AddRectFilled(ImVec2(min.x, max.y - 1), max, bottomRight);
    draw->AddRectFilled(ImVec2(max.x - 1, min.y), max, bottomRight);
}
} // namespace

void applyStyle(ImGuiStyle& style, float fontSize, float menuBarHeight) {
    style = ImGuiStyle();
    style.WindowRounding = style.ChildRounding = style.FrameRounding = style.PopupRounding =
        style.ScrollbarRounding = style.GrabRounding = style.TabRounding = 0.0f;
    style.WindowBorderSize = 0.0f;
    style.PopupBorderSize = 1.0f;
    style.FrameBorderSize = 0.0f;
    style.ChildBorderSize = 0.0f;
    style.WindowPadding = ImVec2(3, 3); // the pop-up menus; a dialog draws its own frame
    style.DisplaySafeAreaPadding = ImVec2(0, 0);
    style.FramePadding = ImVec2(6, (menuBarHeight - fontSize) / 2);
    style.ItemSpacing = ImVec2(8, 5);
    style.ItemInnerSpacing = ImVec2(4, 0);
    style.ScrollbarSize = 16.0f;
    style.GrabMinSize = 10.0f;
    style.AntiAliasedLines = style.AntiAliasedFill = false;

    ImVec4* c = style.Colors;
    c[ImGuiCol_Text] = colour(text);
    c[ImGuiCol_TextDisabled] = colour(greyText);
    c[ImGuiCol_WindowBg] = c[ImGuiCol_ChildBg] = c[ImGuiCol_PopupBg] = colour(face);
    c[ImGuiCol_MenuBarBg] = colour(face);
    c[ImGuiCol_Border] = colour(darkShadow);
    c[ImGuiCol_BorderShadow] = colour(light);
    c[ImGuiCol_FrameBg] = c[ImGuiCol_FrameBgHovered] = c[ImGuiCol_FrameBgActive] = colour(window);
    c[ImGuiCol_ScrollbarBg] = colour(lightFace);
    c[ImGuiCol_ScrollbarGrab] = c[ImGuiCol_ScrollbarGrabHovered] = c[ImGuiCol_ScrollbarGrabActive] =
        colour(face);
    c[ImGuiCol_Button] = c[ImGuiCol_ButtonHovered] = c[ImGuiCol_ButtonActive] = colour(face);
    // The highlighted menu entry: dark blue. Dear ImGui draws its text in the text colour,
    // so the highlight is a light blue that keeps black text readable.
    c[ImGuiCol_Header] = c[ImGuiCol_HeaderHovered] = c[ImGuiCol_HeaderActive] =
        ImVec4(0.60f, 0.72f, 0.93f, 1.0f);
    c[ImGuiCol_TextSelectedBg] = ImVec4(0.0f, 0.0f, 0.5f, 0.35f);
    c[ImGuiCol_NavHighlight] = colour(darkShadow);
    c[ImGuiCol_ModalWindowDimBg] = ImVec4(0, 0, 0, 0);
}

void raised(ImDrawList* draw, ImVec2 min, ImVec2 max) {
    edges(draw, min, max, light, darkShadow);
    edges(draw, ImVec2(min.x + 1, min.y + 1), ImVec2(max.x - 1, max.y - 1), lightFace, shadow);
}

void sunken(ImDrawList* draw, ImVec2 min, ImVec2 max) {
    edges(draw, min, max, shadow, light);
    edges(draw, ImVec2(min.x + 1, min.y + 1), ImVec2(max.x - 1, max.y - 1), darkShadow, lightFace);
}

void etched(ImDrawList* draw, ImVec2 min, ImVec2 max) {
    draw->AddRect(ImVec2(min.x + 1, min.y + 1), max, light);
    draw->AddRect(min, ImVec2(max.x - 1, max.y - 1), shadow);
}

bool button(const char* id, const char* caption, ImVec2 pos, ImVec2 size, bool isDefault,
            bool enabled) {
    ImGui::SetCursorScreenPos(pos);
    const bool clicked = ImGui::InvisibleButton(id, size);
    const bool held = ImGui::IsItemActive() && ImGui::IsItemHovered();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImVec2 min = pos;
    ImVec2 max(pos.x + size.x, pos.y + size.y);
    draw->AddRectFilled(min, max, face);
    if (isDefault) {
        draw->AddRect(min, max, darkShadow);
        min = ImVec2(min.x + 1, min.y + 1);
        max = ImVec2(max.x - 1, max.y - 1);
    }
    if (held) {
        draw->AddRect(min, max, darkShadow);
        draw->AddRect(ImVec2(min.x + 1, min.y + 1), ImVec2(max.x - 1, max.y - 1), shadow);
    } else {
        raised(draw, min, max);
    }
    const ImVec2 textSize = ImGui::CalcTextSize(caption);
    const float shift = held ? 1.0f : 0.0f;
    const ImVec2 at(pos.x + (size.x - textSize.x) / 2 + shift,
                    pos.y + (size.y - textSize.y) / 2 + shift);
    if (!enabled) {
        draw->AddText(ImVec2(at.x + 1, at.y + 1), light, caption);
    }
    draw->AddText(at, enabled ? text : greyText, caption);
    return clicked;
}

bool captionBar(const char* caption, ImVec2 min, ImVec2 max, bool closeBox) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilledMultiColor(min, max, captionLeft, captionRight, captionRight, captionLeft);
    const float height = max.y - min.y;
    const float textHeight = ImGui::GetFontSize();
    draw->AddText(ImVec2(min.x + 3, min.y + (height - textHeight) / 2), captionText, caption);
    if (!closeBox) {
        return false;
    }
    // The close box: a small raised button with a cross, at the right end of the bar.
    const ImVec2 size(height - 2, height - 4);
    const ImVec2 pos(max.x - size.x - 2, min.y + 2);
    ImGui::SetCursorScreenPos(pos);
    const bool clicked = ImGui::InvisibleButton("##close", size);
    const bool held = ImGui::IsItemActive() && ImGui::IsItemHovered();
    const ImVec2 end(pos.x + size.x, pos.y + size.y);
    draw->AddRectFilled(pos, end, face);
    if (held) {
        sunken(draw, pos, end);
    } else {
        raised(draw, pos, end);
    }
    const float s = held ? 1.0f : 0.0f;
    const ImVec2 a(pos.x + 4 + s, pos.y + 3 + s);
    const ImVec2 b(end.x - 5 + s, end.y - 4 + s);
    for (float dx : {0.0f, 1.0f}) {
        draw->AddLine(ImVec2(a.x + dx, a.y), ImVec2(b.x + dx, b.y), text);
        draw->AddLine(ImVec2(a.x + dx, b.y), ImVec2(b.x + dx, a.y), text);
    }
    return clicked;
}

} // namespace classic

// Modal dialogs for the SDL backend, drawn from the control tables of
// app/shell_resources.h by one generic routine: whatever the dialog, each control is drawn
// by its kind at the place its dialog units give. The dialog's logic (app/) gets init and
// the commands; this file only draws, keeps the controls' texts and reports.
//
// The dialog runs its own loop: it waits for events, draws the window with the last game
// picture behind the dialog, and then hands the commands collected while drawing to the
// logic, so that the logic never runs in the middle of drawing. Enter (or a controller's A)
// presses the default button and Escape (or B) sends the cancel id (2), which the logic
// may ignore. The zoom and full-screen keys work here as over the game. Texts are kept
// in Latin-1 and converted to UTF-8 for drawing; typed text comes back as Latin-1, with
// '?' for what Latin-1 cannot hold.
#include "backends/sdl/sdl_platform.h"

#include "app/shell_resources.h"
#include "backends/posix/posix.h"
#include "backends/sdl/classic_look.h"
#include "backends/sdl/dialog_layout.h"
#include "platform/latin1.h"

#include <imgui.h>
#include <imgui_impl_sdl.h>

#include <array>
#include <atomic>
#include <cfloat>
#include <cstring>
#include <map>
#include <thread>

namespace {

// Room for typed text, in UTF-8 bytes: far more than the dialogs read (64 characters).
constexpr std::size_t editCapacity = 512;
// The dialog loop wakes at least this often, for the text caret.
constexpr int idleWaitMs = 50;

using shell::ControlKind;

bool isEdit(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::PasswordEdit;
}

// Copies UTF-8 text into an edit buffer, cut at a character boundary if it is too long.
void fillEdit(std::array<char, editCapacity>& buffer, const std::string& utf8) {
    std::size_t n = std::min(utf8.size(), buffer.size() - 1);
    while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) {
        --n;
    }
    std::memcpy(buffer.data(), utf8.data(), n);
    buffer[n] = '\0';
}

// The view the logic drives: a caption and the texts of the controls.
class SdlDialogView : public DialogView {
  public:
    explicit SdlDialogView(const shell::DialogTemplate& t) : template_(t) {
        setCaption(std::string(t.caption));
        for (const shell::Control& c : t.controls) {
            if (c.id >= 0) {
                setItemText(c.id, std::string(c.text));
            }
        }
    }
    void setCaption(const std::string& latin1) override { caption_ = latin1ToUtf8(latin1); }
    void setItemText(int id, const std::string& latin1) override {
        const shell::Control* c = control(id);
        if (c == nullptr) {
            return;
        }
        if (isEdit(c->kind)) {
            fillEdit(edits_[id], latin1ToUtf8(latin1));
        } else {
            texts_[id] = latin1ToUtf8(latin1);
        }
    }
    std::string itemText(int id) const override {
        if (auto e = edits_.find(id); e != edits_.end()) {
            return utf8ToLatin1(e->second.data());
        }
        if (auto t = texts_.find(id); t != texts_.end()) {
            return utf8ToLatin1(t->second);
        }
        return {};
    }
    void end() override { ended_ = true; }

    bool ended() const { return ended_; }
    const std::string& caption() const { return caption_; }
    // The UTF-8 text of a control that is not an edit; its template text if never set.
    const char* text(const shell::Control& c) {
        return c.id >= 0 ? texts_[c.id].c_str() : groupCaption(c);
    }
    std::array<char, editCapacity>& edit(int id) { return edits_[id]; }

  private:
    const shell::Control* control(int id) const {
        for (const shell::Control& c : template_.controls) {
            if (c.id == id) {
                return &c;
            }
        }
        return nullptr;
    }
    const char* groupCaption(const shell::Control& c) {
        std::string& s = groupTexts_[&c];
        if (s.empty()) {
            s = latin1ToUtf8(c.text);
        }
        return s.c_str();
    }

    const shell::DialogTemplate& template_;
    std::string caption_;
    std::map<int, std::string> texts_;
    std::map<int, std::array<char, editCapacity>> edits_;
    std::map<const shell::Control*, std::string> groupTexts_;
    bool ended_ = false;
};

// What the keyboard asked of the dialog since it was last drawn.
struct KeyRequests {
    bool enter = false;
    bool escape = false;
    float scrollLines = 0; // read-only text: lines to scroll (negative: up)
    float scrollPages = 0; // ... pages
    int scrollToEnd = 0;   // -1 Home, +1 End
};

// Draws the multi-line read-only text: wrapped at the control's width, each line's
// characters on white cells over the light-grey control, with a vertical scroll bar.
void drawReadOnlyText(const char* id, const char* text, ImVec2 pos, ImVec2 size,
                      const KeyRequests& keys) {
    ImDrawList* outer = ImGui::GetWindowDrawList();
    classic::sunken(outer, pos, ImVec2(pos.x + size.x, pos.y + size.y));
    ImGui::SetCursorScreenPos(ImVec2(pos.x + 2, pos.y + 2));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, ImGui::ColorConvertU32ToFloat4(classic::face));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(2, 1));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
    ImGui::BeginChild(id, ImVec2(size.x - 4, size.y - 4), false,
                      ImGuiWindowFlags_AlwaysVerticalScrollbar);
    ImFont* font = ImGui::GetFont();
    const float lineHeight = ImGui::GetTextLineHeight();
    const float wrapWidth = ImGui::GetContentRegionAvail().x;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const char* p = text;
    const char* const end = text + std::strlen(text);
    while (p <= end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (lineEnd == nullptr) {
            lineEnd = end;
        }
        const char* contentEnd = lineEnd;
        if (contentEnd > p && contentEnd[-1] == '\r') {
            --contentEnd;
        }
        if (p == contentEnd) {
            if (lineEnd != end) {
                ImGui::Dummy(ImVec2(0, lineHeight)); // an empty line
            }
        }
        const char* s = p;
        while (s < contentEnd) {
            const char* cut = font->CalcWordWrapPositionA(1.0f, s, contentEnd, wrapWidth);
            if (cut <= s) {
                cut = s + 1; // a word wider than the control: at least one byte...
                while (cut < contentEnd && (static_cast<unsigned char>(*cut) & 0xC0) == 0x80) {
                    ++cut; // ...and never half a character
                }
            }
            const ImVec2 at = ImGui::GetCursorScreenPos();
            const ImVec2 extent = font->CalcTextSizeA(font->FontSize, FLT_MAX, 0.0f, s, cut);
            draw->AddRectFilled(at, ImVec2(at.x + extent.x, at.y + lineHeight), classic::window);
            draw->AddText(at, classic::text, s, cut);
            ImGui::Dummy(ImVec2(extent.x, lineHeight));
            s = cut;
            while (s < contentEnd && (*s == ' ' || *s == '\t')) {
                ++s; // the blanks at a wrap do not begin the next line
            }
        }
        if (lineEnd == end) {
            break;
        }
        p = lineEnd + 1;
    }
    const float page = ImGui::GetWindowHeight() - lineHeight;
    float scroll = ImGui::GetScrollY() + keys.scrollLines * lineHeight + keys.scrollPages * page;
    if (keys.scrollToEnd < 0) {
        scroll = 0;
    } else if (keys.scrollToEnd > 0) {
        scroll = ImGui::GetScrollMaxY();
    }
    if (scroll != ImGui::GetScrollY()) {
        ImGui::SetScrollY(std::clamp(scroll, 0.0f, ImGui::GetScrollMaxY()));
    }
    ImGui::EndChild();
    ImGui::PopStyleVar(2);
    ImGui::PopStyleColor();
}

// Draws the whole dialog at the top-left of the game picture; returns the ids of the
// buttons pressed. A disabled dialog is drawn as it stands and takes no input.
void drawDialog(const shell::DialogTemplate& t, SdlDialogView& view, const KeyRequests& keys,
                bool firstFrame, std::vector<int>& commands, bool enabled = true) {
    using namespace dialog_layout;
    const Rect outer = outerRect(t);
    const Rect client = clientRect(t);
    const float top = static_cast<float>(SdlPlatform::menuBarHeight);
    ImGui::SetNextWindowPos(ImVec2(0, top));
    ImGui::SetNextWindowSize(
        ImVec2(static_cast<float>(outer.width), static_cast<float>(outer.height)));
    ImGui::SetNextWindowFocus();
    const std::string windowId = "##dialog" + std::to_string(t.id);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin(windowId.c_str(), nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollWithMouse |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::BeginDisabled(!enabled);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 o(0, top);
    classic::raised(draw, o, ImVec2(o.x + outer.width, o.y + outer.height));
    if (classic::captionBar(view.caption().c_str(), ImVec2(o.x + frame, o.y + frame),
                            ImVec2(o.x + outer.width - frame, o.y + frame + captionHeight),
                            t.closeBox)) {
        commands.push_back(shell::idCancel);
    }
    const ImVec2 origin(o.x + static_cast<float>(client.x), o.y + static_cast<float>(client.y));
    bool focusGiven = false;
    for (const shell::Control& c : t.controls) {
        const Rect r = controlRect(c);
        const ImVec2 pos(origin.x + r.x, origin.y + r.y);
        const ImVec2 size(static_cast<float>(r.width), static_cast<float>(r.height));
        const ImVec2 end(pos.x + size.x, pos.y + size.y);
        const std::string id = "##c" + std::to_string(&c - t.controls.data());
        ImGui::PushID(&c);
        switch (c.kind) {
        case ControlKind::DefaultButton:
        case ControlKind::Button:
            if (classic::button(id.c_str(), view.text(c), pos, size,
                                c.kind == ControlKind::DefaultButton, enabled)) {
                commands.push_back(c.id);
            }
            break;
        case ControlKind::GroupBox: {
            const float half = ImGui::GetFontSize() / 2;
            classic::etched(draw, ImVec2(pos.x, pos.y + half), end);
            const char* caption = view.text(c);
            const ImVec2 textSize = ImGui::CalcTextSize(caption);
            const ImVec2 at(pos.x + 6, pos.y);
            draw->AddRectFilled(ImVec2(at.x - 2, at.y),
                                ImVec2(at.x + textSize.x + 2, at.y + textSize.y), classic::face);
            draw->AddText(at, classic::text, caption);
            break;
        }
        case ControlKind::ReadOnlyText:
            drawReadOnlyText(id.c_str(), view.text(c), pos, size, keys);
            break;
        case ControlKind::ReadOnlyLine: {
            // One line; a text wider than the control (the font here is wider than the one
            // the template was laid out for) goes on to the next line, if the control has
            // room for it, rather than being cut.
            const char* text = view.text(c);
            const float wrap =
                ImGui::CalcTextSize(text).x > size.x && size.y >= 2 * ImGui::GetFontSize() ? size.x
                                                                                           : 0.0f;
            draw->PushClipRect(pos, end, true);
            draw->AddText(ImGui::GetFont(), ImGui::GetFontSize(), pos, classic::text, text, nullptr,
                          wrap);
            draw->PopClipRect();
            break;
        }
        case ControlKind::Edit:
        case ControlKind::PasswordEdit: {
            classic::sunken(draw, pos, end);
            draw->AddRectFilled(ImVec2(pos.x + 2, pos.y + 2), ImVec2(end.x - 2, end.y - 2),
                                classic::window);
            const float inner = size.y - 4;
            ImGui::SetCursorScreenPos(ImVec2(pos.x + 2, pos.y + 2));
            ImGui::PushStyleVar(ImGuiStyleVar_FramePadding,
                                ImVec2(2, std::max(0.0f, (inner - ImGui::GetFontSize()) / 2)));
            ImGui::SetNextItemWidth(size.x - 4);
            if (firstFrame && !focusGiven) {
                ImGui::SetKeyboardFocusHere(); // the first field is ready for typing
                focusGiven = true;
            }
            auto& buffer = view.edit(c.id);
            const ImGuiInputTextFlags flags =
                c.kind == ControlKind::PasswordEdit ? ImGuiInputTextFlags_Password : 0;
            ImGui::InputText(id.c_str(), buffer.data(), buffer.size(), flags);
            ImGui::PopStyleVar();
            break;
        }
        }
        ImGui::PopID();
    }
    ImGui::EndDisabled();
    ImGui::End();
    ImGui::PopStyleVar();
}

int defaultButton(const shell::DialogTemplate& t) {
    for (const shell::Control& c : t.controls) {
        if (c.kind == ControlKind::DefaultButton) {
            return c.id;
        }
    }
    return shell::idOk;
}

} // namespace

void SdlPlatform::runDialog(int templateId, DialogLogic& logic) {
    const shell::DialogTemplate* t = shell::findDialog(templateId);
    if (t == nullptr || renderer_ == nullptr || inDialog_) {
        return;
    }
    bool typing = false;
    for (const shell::Control& c : t->controls) {
        typing = typing || isEdit(c.kind);
    }
    SdlDialogView view(*t);
    inDialog_ = true;
    if (typing) {
        SDL_StartTextInput();
    }
    drawDialogDisabled_ = [&] {
        std::vector<int> ignored;
        drawDialog(*t, view, KeyRequests{}, false, ignored, false);
    };
    leaveDialog_ = false;
    logic.init(view);
    bool firstFrame = true;
    bool leave = false;
    while (!view.ended() && !leave) {
        KeyRequests keys;
        // Wait for something to happen, then take the events that are there, but at most
        // one key event before drawing: the toolkit sees each key change in its own frame.
        SDL_Event event;
        bool have = !firstFrame && SDL_WaitEventTimeout(&event, idleWaitMs) != 0;
        while (have) {
            ImGui_ImplSDL2_ProcessEvent(&event);
            bool keyEvent = false;
            if (event.type == SDL_QUIT ||
                (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
                // The main window goes away: the dialog goes with it, and the main loop
                // learns of it with its next message.
                closeDeferred_ = true;
                leave = true;
            } else if (event.type == quitEvent_) {
                SDL_PushEvent(&event); // not for the dialog: back for the main loop
                leave = true;
            } else if (event.type == SDL_CONTROLLERDEVICEADDED ||
                       event.type == SDL_CONTROLLERDEVICEREMOVED) {
                followControllers(&event);
            } else if (event.type == SDL_CONTROLLERBUTTONDOWN) {
                keyEvent = true;
                const int answer = GamepadKeys::dialogAnswer(event);
                keys.enter = keys.enter || answer > 0;
                keys.escape = keys.escape || answer < 0;
            } else if (event.type == SDL_KEYDOWN) {
                keyEvent = true;
                const SDL_Keycode sym = event.key.keysym.sym;
                const bool first = event.key.repeat == 0;
                if (windowKey(event.key)) {
                    // zoomed or full screen; the dialog is drawn again below
                } else if ((sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && first) {
                    keys.enter = true;
                } else if (sym == SDLK_ESCAPE && first) {
                    keys.escape = true;
                } else if (sym == SDLK_F4 && (event.key.keysym.mod & KMOD_ALT) != 0 && first) {
                    keys.escape = true; // Alt-F4 closes the dialog, as its close command
                } else if (sym == SDLK_UP || sym == SDLK_DOWN) {
                    keys.scrollLines += sym == SDLK_UP ? -1.0f : 1.0f;
                } else if (sym == SDLK_PAGEUP || sym == SDLK_PAGEDOWN) {
                    keys.scrollPages += sym == SDLK_PAGEUP ? -1.0f : 1.0f;
                } else if (sym == SDLK_HOME || sym == SDLK_END) {
                    keys.scrollToEnd = sym == SDLK_HOME ? -1 : 1;
                }
            } else if (event.type == SDL_KEYUP) {
                keyEvent = true;
            }
            if (keyEvent || leave) {
                break;
            }
            have = SDL_PollEvent(&event) != 0;
        }
        if (leave) {
            break;
        }
        posix::reapChildren();

        std::vector<int> commands;
        renderWindow([&] { drawDialog(*t, view, keys, firstFrame, commands); });
        firstFrame = false;
        if (keys.enter) {
            commands.push_back(defaultButton(*t));
        }
        if (keys.escape) {
            commands.push_back(shell::idCancel);
        }
        for (int id : commands) {
            logic.command(view, id);
            if (view.ended() || leaveDialog_) {
                break;
            }
        }
        leave = leaveDialog_;
    }
    if (typing) {
        SDL_StopTextInput();
    }
    drawDialogDisabled_ = nullptr;
    leaveDialog_ = false;
    inDialog_ = false;
    renderWindow(nullptr); // the dialog leaves the picture at once
}

void SdlPlatform::runResponsive(const std::function<void()>& work) {
    if (renderer_ == nullptr) {
        work();
        return;
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool typing = SDL_IsTextInputActive() == SDL_TRUE;
    if (typing) {
        SDL_StopTextInput(); // nothing typed meanwhile reaches the dialog
    }
    SDL_Cursor* wait = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAITARROW);
    if (wait != nullptr) {
        SDL_SetCursor(wait);
    }
    std::vector<SDL_Event> later; // the main loop's own events, handed back afterwards
    const std::function<void()> overlay = drawDialogDisabled_;
    while (!done) {
        SDL_Event event;
        bool have = SDL_WaitEventTimeout(&event, idleWaitMs) != 0;
        while (have) {
            if (event.type == SDL_QUIT ||
                (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
                // Kept for the main loop; an open dialog ends when the work is done.
                closeDeferred_ = true;
                leaveDialog_ = inDialog_;
            } else if (event.type == quitEvent_) {
                later.push_back(event);
                leaveDialog_ = inDialog_;
            } else if (event.type == SDL_CONTROLLERDEVICEADDED ||
                       event.type == SDL_CONTROLLERDEVICEREMOVED) {
                followControllers(&event);
            } else if (event.type == SDL_KEYDOWN) {
                windowKey(event.key); // zoom and full screen work on
            } else if (event.type == SDL_KEYUP || event.type == SDL_MOUSEBUTTONUP ||
                       event.type == SDL_MOUSEMOTION || event.type == SDL_WINDOWEVENT) {
                // Releases and moves keep the toolkit's idea of the keys and the pointer
                // true; presses never reach it.
                ImGui_ImplSDL2_ProcessEvent(&event);
            }
            have = SDL_PollEvent(&event) != 0;
        }
        posix::reapChildren();
        renderWindow(overlay);
    }
    worker.join();
    for (SDL_Event& event : later) {
        SDL_PushEvent(&event);
    }
    SDL_SetCursor(SDL_GetDefaultCursor());
    if (wait != nullptr) {
        SDL_FreeCursor(wait);
    }
    if (typing) {
        SDL_StartTextInput();
    }
}

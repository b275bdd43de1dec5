// The shell's resources as data, defined once: the main window's menu (128) and the dialog
// templates of the information dialog (129), the highscore dialog (131) and the question
// (135), with their controls in template order (which is also the tab order), positions and
// sizes in dialog units. Every backend draws from these tables, and the Windows resource
// script is checked against them. Texts are Latin-1.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace shell {

// Menu command ids.
enum Command : int {
    cmdNewGame = 40001,
    cmdRules = 40002,
    cmdQuit = 40003,
    cmdCompetitionRules = 40004,
    cmdAboutPortal = 40005,
    cmdRegisterHighscore = 40006,
    cmdChallengeFriends = 40007,
    cmdPublisherSite = 40008,
    cmdPortalSite = 40009,
    // A playback's controls (keys and the page's buttons; not in the menu).
    cmdPlaybackPause = 40101, // pause, or go on
    cmdPlaybackSpeed1 = 40102,
    cmdPlaybackSpeed2 = 40103,
    cmdPlaybackSpeed4 = 40104,
};

struct MenuItem {
    std::string_view popup; // the pop-up it belongs to
    int id;
    std::string_view caption;
};

constexpr int menuResource = 128;

// In menu order: in the last pop-up 40009 stands before 40008.
constexpr std::array<MenuItem, 9> menu = {{
    {"Spel", cmdNewGame, "Starta nytt spel (F1)"},
    {"Spel", cmdRules, "Spelregler"},
    {"Spel", cmdQuit, "Avsluta (Alt-F4)"},
    {"T\xE4vling", cmdCompetitionRules, "T\xE4vlingsregler"},
    {"T\xE4vling", cmdAboutPortal, "Om spelia"},
    {"Koppla upp", cmdRegisterHighscore, "Registrera high-score"},
    {"Koppla upp", cmdChallengeFriends, "Utmana dina v\xE4nner"},
    {"Koppla upp", cmdPortalSite, "Surfa till speliasajten"},
    {"Koppla upp", cmdPublisherSite, "Bes\xF6k Tallviks hemsida"},
}};

enum class ControlKind {
    DefaultButton, // push button, the default (Enter presses it)
    Button,
    GroupBox,
    ReadOnlyText, // read-only multi-line edit with word wrap, vertical scroll bar, sunken edge
    ReadOnlyLine, // read-only single-line edit, no border, no tab stop
    Edit,         // single-line edit with border, automatic horizontal scroll
    PasswordEdit, // the same, characters hidden
};

struct Control {
    int id; // -1: none (a group box)
    ControlKind kind;
    std::string_view text;
    int x, y, width, height; // dialog units
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    bool closeBox;     // a system menu, and with it a close box
    int width, height; // dialog units, at (0, 0) of the main window's client area
    std::span<const Control> controls;
};

// Control ids shared by the dialogs.
constexpr int idOk = 1;     // also IDOK: Enter
constexpr int idCancel = 2; // also IDCANCEL: Escape, the close box
constexpr int idNewUser = 3;
constexpr int idText = 1000;
constexpr int idEmail = 1003;
constexpr int idPassword = 1004;
constexpr int idStatus = 1005; // the highscore dialog's line on the last attempt

constexpr std::array<Control, 2> infoControls = {{
    {idOk, ControlKind::DefaultButton, "OK", 112, 132, 50, 14},
    {idText, ControlKind::ReadOnlyText, "", 7, 7, 263, 124},
}};

constexpr std::array<Control, 8> highscoreControls = {{
    {idOk, ControlKind::DefaultButton, "OK", 7, 88, 50, 14},
    {idCancel, ControlKind::Button, "Avbryt", 73, 88, 50, 14},
    {-1, ControlKind::GroupBox, "Anv\xE4ndarnamn (e-mailadress)", 7, 11, 182, 29},
    {-1, ControlKind::GroupBox, "L\xF6senord", 7, 45, 182, 31},
    {idEmail, ControlKind::Edit, "", 11, 21, 171, 12},
    {idPassword, ControlKind::PasswordEdit, "", 11, 56, 171, 12},
    {idNewUser, ControlKind::Button, "Ny anv\xE4ndare", 139, 88, 50, 14},
    {idStatus, ControlKind::ReadOnlyLine, "", 7, 105, 182, 10},
}};

constexpr std::array<Control, 3> questionControls = {{
    {idOk, ControlKind::DefaultButton, "Ja", 7, 32, 50, 14},
    {idCancel, ControlKind::Button, "Nej", 85, 32, 50, 14},
    {idText, ControlKind::ReadOnlyLine, "", 7, 7, 122, 22},
}};

constexpr int infoDialogId = 129;
constexpr int highscoreDialogId = 131;
constexpr int questionDialogId = 135;

constexpr DialogTemplate infoDialog = {infoDialogId, "Information", false, 277, 153, infoControls};
constexpr DialogTemplate highscoreDialog = {
    highscoreDialogId, "Anm\xE4l din high-score", false, 196, 121, highscoreControls};
constexpr DialogTemplate questionDialog = {questionDialogId, "", true, 142, 53, questionControls};

// All dialogs use "MS Sans Serif" at 8 points.
constexpr std::string_view dialogFont = "MS Sans Serif";
constexpr int dialogFontPoints = 8;

constexpr const DialogTemplate* findDialog(int id) {
    for (const DialogTemplate* d : {&infoDialog, &highscoreDialog, &questionDialog}) {
        if (d->id == id) {
            return d;
        }
    }
    return nullptr;
}

} // namespace shell

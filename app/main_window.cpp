// What the main window's messages do, whatever the platform: the menu commands as a table,
// id to action, walked by Shell::menuCommand; the window going away; the palette focus. A
// backend calls these while it handles a message in pumpMessage, never inside a frame.
// After quit there is no GameDriver any more: the commands that would post requests to it
// then do nothing.
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"

#include <array>
#include <string_view>

namespace {

enum class Action {
    Restart,
    ShowText,
    Quit,
    RegisterHighscore,
    PortalPage,
    PublisherPage,
    PlaybackPause,
    PlaybackSpeed,
};

struct CommandAction {
    int id;
    Action action;
    std::int32_t text;     // ShowText: the information text; PlaybackSpeed: the speed
    std::string_view path; // PortalPage, PublisherPage: the page
};

constexpr std::array<CommandAction, 13> commandActions = {{
    {shell::cmdNewGame, Action::Restart, 0, ""},
    {shell::cmdRules, Action::ShowText, 0, ""},
    {shell::cmdQuit, Action::Quit, 0, ""},
    {shell::cmdCompetitionRules, Action::ShowText, 1, ""},
    {shell::cmdAboutPortal, Action::ShowText, 2, ""},
    {shell::cmdRegisterHighscore, Action::RegisterHighscore, 0, ""},
    {shell::cmdChallengeFriends, Action::PortalPage, 0, "/useradm/challenge/"},
    {shell::cmdPortalSite, Action::PortalPage, 0, "/"},
    {shell::cmdPublisherSite, Action::PublisherPage, 0, "/"},
    {shell::cmdPlaybackPause, Action::PlaybackPause, 0, ""},
    {shell::cmdPlaybackSpeed1, Action::PlaybackSpeed, 1, ""},
    {shell::cmdPlaybackSpeed2, Action::PlaybackSpeed, 2, ""},
    {shell::cmdPlaybackSpeed4, Action::PlaybackSpeed, 4, ""},
}};

} // namespace

void Shell::menuCommand(int id) {
    for (const CommandAction& c : commandActions) {
        if (c.id != id) {
            continue;
        }
        switch (c.action) {
        case Action::Restart:
            if (driver != nullptr) {
                driver->requests.post(ShellRequest::Restart);
            }
            break;
        case Action::ShowText:
            if (driver != nullptr) {
                session.infoTextSelector = c.text;
                driver->requests.post(ShellRequest::Info);
            }
            break;
        case Action::Quit:
            quit();
            break;
        case Action::RegisterHighscore:
            // Nothing is sent while a playback is on the screen.
            if (driver != nullptr && driver->gameOver && playback() == nullptr) {
                driver->requests.post(ShellRequest::Login);
            }
            break;
        case Action::PortalPage:
            seams.window.openUrl(portalUrl(c.path));
            break;
        case Action::PublisherPage:
            seams.window.openUrl(publisherUrl(c.path));
            break;
        case Action::PlaybackPause:
            if (Playback* p = playback()) {
                p->togglePause();
            }
            break;
        case Action::PlaybackSpeed:
            if (Playback* p = playback()) {
                p->setSpeed(c.text);
            }
            break;
        }
        return;
    }
}

void Shell::windowDestroyed() {
    quit();
}

void Shell::paletteRegained() {
    // After quit the frame buffer is gone with the driver; nothing is left to refresh.
    if (driver != nullptr) {
        driver->screen().paletteRefreshPending = true;
    }
}

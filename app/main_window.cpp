// The menu commands as a table, id to action, walked by windowCommand. After quit there is
// no GameDriver any more: the commands that would raise its flags then do nothing.
#include "app/main_window.h"

#include "app/game_driver.h"
#include "app/main_loop.h"
#include "app/session.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"
#include "gfx/screen_buffer.h"

#include <array>
#include <string_view>

namespace {

enum class Action { Restart, ShowText, Quit, RegisterHighscore, PortalPage, PublisherPage };

struct CommandAction {
    int id;
    Action action;
    std::int32_t text;     // ShowText: the information text
    std::string_view path; // PortalPage, PublisherPage: the page
};

constexpr std::array<CommandAction, 9> commandActions = {{
    {shell::cmdNewGame, Action::Restart, 0, ""},
    {shell::cmdRules, Action::ShowText, 0, ""},
    {shell::cmdQuit, Action::Quit, 0, ""},
    {shell::cmdCompetitionRules, Action::ShowText, 1, ""},
    {shell::cmdAboutPortal, Action::ShowText, 2, ""},
    {shell::cmdRegisterHighscore, Action::RegisterHighscore, 0, ""},
    {shell::cmdChallengeFriends, Action::PortalPage, 0, "/useradm/challenge/"},
    {shell::cmdPortalSite, Action::PortalPage, 0, "/"},
    {shell::cmdPublisherSite, Action::PublisherPage, 0, "/"},
}};

} // namespace

void windowCommand(int id) {
    for (const CommandAction& c : commandActions) {
        if (c.id != id) {
            continue;
        }
        switch (c.action) {
        case Action::Restart:
            if (gameDriver != nullptr) {
                gameDriver->restartRequested = true;
            }
            break;
        case Action::ShowText:
            if (gameDriver != nullptr) {
                infoTextSelector = c.text;
                gameDriver->infoRequested = true;
            }
            break;
        case Action::Quit:
            quit();
            break;
        case Action::RegisterHighscore:
            if (gameDriver != nullptr && gameDriver->gameOver) {
                gameDriver->loginRequested = true;
            }
            break;
        case Action::PortalPage:
            platform().openUrl(portalUrl(c.path));
            break;
        case Action::PublisherPage:
            platform().openUrl(publisherUrl(c.path));
            break;
        }
        return;
    }
}

void windowDestroyed() {
    quit();
}

void windowRegainedPalette() {
    paletteRefreshPending = true;
}

// pingel-httpcheck: one highscore submission through the WinInet backend, for checking the
// Windows road against a portal on this machine. It sends a fixed account and score to the
// host and port given, with the time bounds given, and prints what the highscore dialog
// would see: the result code, the version page number, the kind of failure and the
// message, tab-separated. With --kinds it prints instead the kind of each WinInet error
// number given, one number and kind a line.
//
// Usage: pingel-httpcheck HOST PORT CONNECT_MS EXCHANGE_MS [--no-library | --no-function NAME]
//        pingel-httpcheck --kinds NUMBER...
// The two options make the library, or one of its functions, unfindable.
#include "backends/headless/headless.h"
#include "backends/win32/wininet_http.h"
#include "net/highscore_submission.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The headless platform with the system's libraries, less what the check hides.
class SystemLibraries : public HeadlessPlatform {
  public:
    bool hideLibrary = false;
    std::string hiddenFunction;

    void* loadLibrary(const std::string& name) override {
        return hideLibrary ? nullptr : reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
    }
    void* findFunction(void* library, const std::string& name) override {
        if (name == hiddenFunction) {
            return nullptr;
        }
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
    }
};

// Line ends and tabs made visible, so that one outcome stays on one line.
std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--kinds") {
        for (int i = 2; i < argc; ++i) {
            const int number = std::atoi(argv[i]);
            std::printf("%d\t%s\n", number,
                        httpFailureName(WinInetHttpClient::failureKind(number)));
        }
        return 0;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: pingel-httpcheck HOST PORT CONNECT_MS EXCHANGE_MS "
                             "[--no-library | --no-function NAME]\n"
                             "       pingel-httpcheck --kinds NUMBER...\n");
        return 2;
    }
    SystemLibraries system;
    for (int i = 5; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-library") {
            system.hideLibrary = true;
        } else if (option == "--no-function" && i + 1 < argc) {
            system.hiddenFunction = argv[++i];
        }
    }
    HighscorePortal portal;
    portal.host = argv[1];
    portal.port = std::atoi(argv[2]);
    portal.timeouts.connect = static_cast<Millis>(std::atoi(argv[3]));
    portal.timeouts.exchange = static_cast<Millis>(std::atoi(argv[4]));

    HighscoreRecord record;
    record.email = "anna@example.se";
    record.password = "hemlis";
    record.score = 1234;
    record.playTimeMs = 98765;
    record.versionPageId = 9;
    WinInetHttpClient wininet(system);
    submitHighscore(record, wininet, portal, {system, system});
    std::printf("%d\t%d\t%s\t%s\n", static_cast<int>(record.result),
                static_cast<int>(record.versionPageId), httpFailureName(record.failure),
                oneLine(record.message).c_str());
    return 0;
}

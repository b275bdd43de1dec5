// pingel-loopback-portal: the tests' loopback portal as a program, for clients that run
// outside the test process (the Windows program under Wine). It listens on 127.0.0.1,
// prints its port on a line of its own, serves one connection with the answer given and
// exits once that answer is out (or after a minute without a request).
//
// Usage: pingel-loopback-portal STATUS DELAY_MS BODY   (in BODY, \n and \r stand for LF, CR)
//        pingel-loopback-portal trickle GAP_MS BODY    (the answer byte by byte, GAP_MS apart)
//        pingel-loopback-portal close                  (hangs up without an answer)
//        pingel-loopback-portal unused                 (prints a port where nothing listens)
#include "../loopback_portal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 'r')) {
            out += text[++i] == 'n' ? '\n' : '\r';
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "unused") {
        std::printf("%d\n", LoopbackPortal::unusedPort());
        return 0;
    }
    LoopbackPortal::Answer answer;
    if (mode == "close") {
        answer = LoopbackPortal::closeAtOnce();
    } else if (mode == "trickle" && argc == 4) {
        answer = LoopbackPortal::trickle(unescaped(argv[3]), std::atoi(argv[2]));
    } else if (argc == 4) {
        answer = LoopbackPortal::reply(unescaped(argv[3]), std::atoi(argv[1]), std::atoi(argv[2]));
    } else {
        std::fprintf(stderr,
                     "usage: pingel-loopback-portal STATUS DELAY_MS BODY | trickle GAP_MS BODY | "
                     "close | unused\n");
        return 2;
    }
    LoopbackPortal portal({answer});
    if (portal.port() == 0) {
        std::fprintf(stderr, "pingel-loopback-portal: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("%d\n", portal.port());
    std::fflush(stdout);
    for (int waited = 0; !portal.finished() && waited < 60000; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return portal.finished() ? 0 : 1;
}

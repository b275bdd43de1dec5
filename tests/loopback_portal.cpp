// The loopback portal; see loopback_portal.h. Every wait is bounded: the server polls its
// sockets in short slices and gives up on a request that does not arrive within seconds,
// so a failing test cannot hang on it.
#include "loopback_portal.h"

#include "backends/posix/posix.h"
#include "net/form_field.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int sliceMs = 20;
constexpr int requestPatienceMs = 5000;

int listenOnLoopback(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

// Reads one request: the head up to its blank line, then Content-Length bytes of body.
std::string readRequest(int fd, const std::atomic<bool>& stop) {
    std::string data;
    std::size_t wanted = std::string::npos;
    for (int waited = 0; waited < requestPatienceMs && !stop;) {
        if (!readable(fd, sliceMs)) {
            waited += sliceMs;
            continue;
        }
        char chunk[4096];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        data.append(chunk, static_cast<std::size_t>(n));
        const std::size_t headEnd = data.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos) {
            std::size_t bodyLength = 0;
            const std::size_t at = data.find("Content-Length:");
            if (at != std::string::npos && at < headEnd) {
                bodyLength = std::strtoul(data.c_str() + at + 15, nullptr, 10);
            }
            wanted = headEnd + 4 + bodyLength;
        }
        if (wanted != std::string::npos && data.size() >= wanted) {
            break;
        }
    }
    return data;
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return; // the client has gone
        }
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

LoopbackPortal::LoopbackPortal(std::vector<Answer> script) : script_(std::move(script)) {
    // The portal is on this machine: no proxy of the environment may stand between.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    listener_ = listenOnLoopback(port_);
    if (listener_ >= 0) {
        thread_ = std::thread([this] { serve(); });
    }
}

LoopbackPortal::~LoopbackPortal() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listener_ >= 0) {
        close(listener_);
    }
}

std::vector<std::string> LoopbackPortal::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void LoopbackPortal::serve() {
    for (const Answer& a : script_) {
        while (!stop_ && !readable(listener_, sliceMs)) {
        }
        if (stop_) {
            return;
        }
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        std::string request = readRequest(fd, stop_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(std::move(request));
        }
        answer(fd, a);
        close(fd);
    }
    finished_ = true;
}

void LoopbackPortal::answer(int fd, const Answer& a) {
    const int delayMs = a.kind == Answer::Trickle ? 0 : a.delayMs;
    for (int waited = 0; waited < delayMs && !stop_; waited += sliceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
    }
    if (a.kind == Answer::Close || stop_) {
        return;
    }
    const std::string reply =
        "HTTP/1.1 " + std::to_string(a.status) + " " + (a.status / 100 == 2 ? "OK" : "Error") +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(a.body.size()) +
        "\r\nConnection: close\r\n\r\n" + a.body;
    if (a.kind == Answer::Trickle) {
        // Byte by byte until the client hangs up (or the server stops).
        for (std::size_t i = 0; i < reply.size() && !stop_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(a.delayMs));
            if (send(fd, reply.data() + i, 1, MSG_NOSIGNAL) != 1) {
                return;
            }
        }
    } else {
        sendAll(fd, reply);
    }
    shutdown(fd, SHUT_WR);
    // Let the client read to the end before the socket goes (bounded).
    for (int waited = 0; waited < 1000 && !stop_; waited += sliceMs) {
        if (readable(fd, sliceMs)) {
            char sink[256];
            if (recv(fd, sink, sizeof sink, 0) <= 0) {
                break;
            }
        }
    }
}

int LoopbackPortal::unusedPort() {
    int port = 0;
    const int fd = listenOnLoopback(port);
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

std::string LoopbackPortal::bodyOf(const std::string& request) {
    const std::size_t headEnd = request.find("\r\n\r\n");
    return headEnd == std::string::npos ? std::string() : request.substr(headEnd + 4);
}

std::map<std::string, std::string> LoopbackPortal::decodeFields(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const std::string name(pair.substr(0, eq));
        const std::string_view value = eq == std::string_view::npos ? "" : pair.substr(eq + 1);
        if (name == "f2") {
            fields[name] = std::string(value);
            continue;
        }
        fields[name] = decodeField(value).value_or("<not hex>");
    }
    return fields;
}

void* RealLibraryPlatform::loadLibrary(const std::string& name) {
    return posix::loadLibrary(name);
}

void* RealLibraryPlatform::findFunction(void* library, const std::string& name) {
    return posix::findFunction(library, name);
}

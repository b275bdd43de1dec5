// The portal's outgoing mail; see mail.h.
#include "portal/mail.h"

#include "portal/clock.h"
#include "portal/password.h"

#include <sodium.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

bool hasControl(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// One plain address: local@domain, nothing that ends it or starts another (no blanks,
// commas, brackets, quotes, line breaks).
bool plainAddress(std::string_view address) {
    const auto at = address.find('@');
    return !address.empty() && address.size() <= 254 && at != std::string_view::npos && at > 0 &&
           at + 1 < address.size() && address.find('@', at + 1) == std::string_view::npos &&
           !hasControl(address) &&
           address.find_first_of(" ,;:<>()[]\\\"") == std::string_view::npos;
}

// Writes all of `text` to `fd` (non-blocking) before `deadline`.
bool writeAll(int fd, std::string_view text, std::chrono::steady_clock::time_point deadline) {
    while (!text.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return false; // EPIPE: the program stopped reading
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// SIGPIPE held back in this thread while writing to a program that may have ended; a
// pending one is taken away afterwards, so the process never sees it.
class QuietPipe {
  public:
    QuietPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    }
    ~QuietPipe() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            const timespec zero{0, 0};
            sigtimedwait(&pipe_, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    QuietPipe(const QuietPipe&) = delete;
    QuietPipe& operator=(const QuietPipe&) = delete;

  private:
    sigset_t pipe_{}, saved_{};
};

} // namespace

std::string encodedHeaderText(std::string_view utf8) {
    std::string clean(utf8);
    bool plain = true;
    for (char& c : clean) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = ' ';
        } else if (u >= 0x80) {
            plain = false;
        }
    }
    // "=?" in plain text would read as the start of an encoded word.
    if (plain && clean.find("=?") == std::string::npos && clean.size() <= 60) {
        return clean;
    }
    // Encoded words of at most 45 bytes each (60 base64 characters), split between whole
    // UTF-8 characters, one per folded line.
    std::string out;
    std::size_t start = 0;
    while (start < clean.size()) {
        std::size_t end = std::min(start + 45, clean.size());
        while (end < clean.size() && end > start + 1 &&
               (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) {
            --end;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(clean.data() + start);
        std::string b64(sodium_base64_encoded_len(end - start, sodium_base64_VARIANT_ORIGINAL),
                        '\0');
        sodium_bin2base64(b64.data(), b64.size(), bytes, end - start,
                          sodium_base64_VARIANT_ORIGINAL);
        b64.pop_back(); // its terminating zero
        out += (out.empty() ? "" : "\n ") + std::string("=?UTF-8?B?") + b64 + "?=";
        start = end;
    }
    return out;
}

bool acceptableFrom(std::string_view from) {
    const auto open = from.rfind('<');
    const std::string_view address = open == std::string_view::npos || from.back() != '>'
                                         ? from
                                         : from.substr(open + 1, from.size() - open - 2);
    return from.size() <= 200 && !hasControl(from) && plainAddress(address);
}

std::optional<std::string> composeMail(const MailMessage& message, std::string_view from,
                                       std::int64_t now, std::string_view id) {
    if (!plainAddress(message.to) || !acceptableFrom(from)) {
        return std::nullopt;
    }
    std::string text = "Date: " + internetDate(now, "+0000") + "\nFrom: " + std::string(from) +
                       "\nTo: " + message.to + "\nSubject: " + encodedHeaderText(message.subject) +
                       "\nMessage-ID: <" + std::string(id) +
                       "@spelia>\nMIME-Version: 1.0\n"
                       "Content-Type: text/plain; charset=utf-8\n"
                       "Content-Transfer-Encoding: 8bit\n\n";
    // The body with "\n" line ends only (a mail program or the outbox reader converts).
    for (const char c : message.body) {
        if (c != '\r') {
            text += c;
        }
    }
    if (text.back() != '\n') {
        text += '\n';
    }
    return text;
}

std::vector<std::string> commandWords(std::string_view command) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < command.size()) {
        const auto start = command.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) {
            break;
        }
        const auto end = std::min(command.find_first_of(" \t", start), command.size());
        words.emplace_back(command.substr(start, end - start));
        i = end;
    }
    return words;
}

bool Mailer::send(const MailMessage& message) const {
    const std::string id = randomToken().substr(0, 24);
    const auto text = composeMail(message, settings_.from, unixNow(), id);
    if (!text) {
        std::cerr << "pingel-portal: mail refused: the address cannot be used in a header\n";
        return false;
    }
    return settings_.command.empty() ? writeOutbox(*text, id) : runCommand(*text);
}

bool Mailer::runCommand(const std::string& text) const {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::cerr << "pingel-portal: mail: no pipe\n";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& word : settings_.command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (spawned != 0) {
        ::close(fds[1]);
        std::cerr << "pingel-portal: mail: cannot run " << settings_.command[0] << '\n';
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + settings_.timeout;
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    bool written = false;
    {
        QuietPipe quiet;
        written = writeAll(fds[1], text, deadline);
    }
    ::close(fds[1]);
    int status = 0;
    bool ended = false;
    while (!ended) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            ended = r == pid;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            std::cerr << "pingel-portal: mail: " << settings_.command[0]
                      << " ran too long and was stopped\n";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!ended || !written || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "pingel-portal: mail: " << settings_.command[0] << " failed\n";
        return false;
    }
    return true;
}

bool Mailer::writeOutbox(const std::string& text, std::string_view id) const {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(settings_.outbox, error);
    char stamp[32];
    const std::time_t t = static_cast<std::time_t>(unixNow());
    std::tm parts{};
    gmtime_r(&t, &parts);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
    const fs::path folder(settings_.outbox);
    const std::string name = std::string(stamp) + "-" + std::string(id.substr(0, 12)) + ".eml";
    // Written under a hidden name and renamed, so a reader never sees half a message;
    // readable by the operator alone (a reset link is a key to an account).
    const fs::path partial = folder / ("." + name + ".part");
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0) {
        ok = ::close(fd) == 0 && ok;
    }
    if (ok) {
        fs::rename(partial, folder / name, error);
        ok = !error;
    }
    if (!ok) {
        fs::remove(partial, error);
        std::cerr << "pingel-portal: mail: cannot write into the outbox " << settings_.outbox
                  << '\n';
    }
    return ok;
}

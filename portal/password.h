// Password hashing with Argon2id (libsodium). Verifying costs tens of milliseconds and
// 64 MiB of memory, so a server runs at most a few at once; a password that was verified
// once is then recognised by a keyed digest kept in memory, which binds it to the stored
// hash (a new password invalidates it) and holds no password in clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Thrown instead of waiting when as many callers as the queue holds are already running or
// waiting for Argon2id: the caller answers "busy, try again" (503 with Retry-After on a page,
// "7" and a reason to the game) rather than holding a worker for many seconds.
class PasswordQueueFull : public std::runtime_error {
  public:
    PasswordQueueFull() : std::runtime_error("the password queue is full") {}
};
// Two Argon2id runs at once, and this many callers waiting for each: a run takes tens of
// milliseconds, so the last in a full queue waits a second or two, far within the game's
// 30 s, while a burst of first logins from a crowd of players (32 at once in the load
// check) still finds room.
constexpr std::size_t argonSlots = 2;
constexpr std::size_t argonWaitingPerSlot = 16;

// A server's password checks: Argon2id runs of at most argonSlots at a time, admitted in
// the order they asked, with at most `bound` callers running or waiting (past it,
// PasswordQueueFull), and the memory of passwords verified before, which are recognised
// without Argon2id and never wait. The server owns one and hands it to whatever checks or
// chooses a password.
class PasswordChecks {
  public:
    explicit PasswordChecks(std::size_t bound = argonSlots * (1 + argonWaitingPerSlot));
    ~PasswordChecks();
    PasswordChecks(const PasswordChecks&) = delete;
    PasswordChecks& operator=(const PasswordChecks&) = delete;

    // Throw PasswordQueueFull (above), std::runtime_error when libsodium cannot start or
    // runs out of memory.
    std::string hash(const std::string& password);
    bool verify(const std::string& storedHash, const std::string& password);
    // Checks the password against a fixed hash that no member has, through the same queue
    // and at the same cost as verify's first check: a login with an address that belongs to
    // nobody takes as long as one with a wrong password.
    void verifyNobodys(const std::string& password);
    // True when this password was verified against this hash before (no Argon2id, no wait).
    bool known(const std::string& storedHash, const std::string& password);
    // The most callers running or waiting together (tests set it small).
    void setBound(std::size_t callers);
    // How many Argon2id runs (hashes and uncached checks) these checks have begun.
    std::uint64_t runs();
    // Argon2id runs under way now, and callers waiting for one.
    std::size_t running();
    std::size_t waiting();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// Argon2id at once, outside any server's queue and memory: for the operator's commands,
// the tools and the tests.
std::string hashPassword(const std::string& password);
bool verifyPassword(const std::string& storedHash, const std::string& password);
// A random token in hex (session keys, reset links), and the digest under which it is
// stored.
std::string randomToken();
std::string tokenDigest(const std::string& token);

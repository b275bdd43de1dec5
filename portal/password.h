// Password hashing with Argon2id (libsodium). Verifying costs tens of milliseconds and
// 64 MiB of memory, so at most a few run at once; a password that was verified once is
// then recognised by a keyed digest kept in memory, which binds it to the stored hash (a
// new password invalidates it) and holds no password in clear.
#pragma once

#include <cstddef>
#include <cstdint>
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
// The most callers running or waiting together (argonSlots * (1 + argonWaitingPerSlot)
// unless set; tests set it small). The gate is shared by the whole process, as the cores and
// the memory it protects are.
void setPasswordQueueBound(std::size_t callers);
// How many Argon2id runs (hashes and uncached checks) this process has begun.
std::uint64_t argonRuns();

// Throws PasswordQueueFull (above), std::runtime_error when libsodium cannot start or runs
// out of memory. A password verified before is recognised without Argon2id and never waits.
std::string hashPassword(const std::string& password);
bool verifyPassword(const std::string& storedHash, const std::string& password);
// Checks the password against a fixed hash that no member has, through the same queue and at
// the same cost as verifyPassword's first check: a login with an address that belongs to
// nobody takes as long as one with a wrong password. Throws PasswordQueueFull.
void verifyNobodysPassword(const std::string& password);
// True when this password was verified against this hash before (no Argon2id, no wait).
bool knownPassword(const std::string& storedHash, const std::string& password);
// A random token in hex (session keys, reset links), and the digest under which it is
// stored.
std::string randomToken();
std::string tokenDigest(const std::string& token);

// Password hashing with Argon2id (libsodium). Verifying costs tens of milliseconds and
// 64 MiB of memory, so at most a few run at once; a password that was verified once is
// then recognised by a keyed digest kept in memory, which binds it to the stored hash (a
// new password invalidates it) and holds no password in clear.
#pragma once

#include <string>

// Throws std::runtime_error when libsodium cannot start or runs out of memory.
std::string hashPassword(const std::string& password);
bool verifyPassword(const std::string& storedHash, const std::string& password);
// A random token in hex (session keys, reset links), and the digest under which it is
// stored.
std::string randomToken();
std::string tokenDigest(const std::string& token);

// What the portal's tests share: where they keep their databases (a fresh SQLite file per
// test, or the PostgreSQL database named by PINGEL_PORTAL_TEST_POSTGRES, emptied first),
// and raw exchanges on loopback that no client library tidies.
#pragma once

#include <string>

// A fresh, empty database for the engine ("sqlite" or "postgres"), or "" when it is not available
// here.
std::string freshDatabase(const std::string& engine);
// A socket connected to the port on loopback, or -1.
int connectLoopback(int port);
// Sends the request as it is and returns all that arrives until the server closes.
std::string exchange(int port, const std::string& request);

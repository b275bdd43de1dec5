// Where the portal's tests keep their databases: a fresh SQLite file per test, or the
// PostgreSQL database named by PINGEL_PORTAL_TEST_POSTGRES, emptied first.
#pragma once

#include <string>

// A fresh, empty database for the engine ("sqlite" or "postgres"), or "" when it is not available
// here.
std::string freshDatabase(const std::string& engine);

// Fresh databases for the portal's tests; see portal_test_support.h.
#include "portal_test_support.h"

#include "portal/sql.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

std::string freshDatabase(const std::string& engine) {
    if (engine == "sqlite") {
        static std::atomic<int> next{0};
        const auto path =
            std::filesystem::path(testing::TempDir()) /
            ("pingel-portal-" + std::to_string(getpid()) + "-" + std::to_string(next++) + ".db");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path.string() + suffix);
        }
        return path.string();
    }
    const char* url = std::getenv("PINGEL_PORTAL_TEST_POSTGRES");
    if (!url || !*url) {
        return "";
    }
    openPostgres(url)->run(
        "DROP TABLE IF EXISTS settings, reset_tokens, sessions, failures, builds, scores, members,"
        " schema_version CASCADE");
    return url;
}

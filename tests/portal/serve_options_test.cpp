// serve's options from a configuration file and the command line: every option in the file
// reaches the options, the command line wins over it, and each bad line or value is
// refused with a message naming the file's line.
#include "portal/serve_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ServeOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pingel-options-" + std::to_string(getpid()));
        fs::create_directories(dir_ / "site");
        std::ofstream(dir_ / "site" / "index.html") << "<!doctype html>";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& text) {
        const std::string path = (dir_ / "portal.conf").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The file's options, then the command line's; the first message or "".
    std::string load(const std::string& text, std::vector<const char*> argv = {}) {
        const OptionFile file = readOptionFile(write(text));
        if (!file.error.empty()) {
            return file.error;
        }
        std::vector<OptionSetting> given;
        argv.insert(argv.begin(), "pingel-portal");
        for (int i = 1; i < static_cast<int>(argv.size()); ++i) {
            if (takeOptionArgument(static_cast<int>(argv.size()), argv.data(), i, given) !=
                OptionArgument::taken) {
                return std::string("not taken: ") + argv[i];
            }
        }
        auto problem = applyOptions(options_, file.settings);
        if (!problem) {
            problem = applyOptions(options_, given);
        }
        if (problem) {
            return *problem;
        }
        return completeOptions(options_).value_or("");
    }

    fs::path dir_;
    ServeOptions options_;
};

TEST_F(ServeOptionsTest, EveryOptionInTheFileReachesTheOptions) {
    const std::string site = (dir_ / "site").string();
    ASSERT_EQ(load("# the portal\r\n"
                   "\n"
                   "  database = /var/lib/p/portal.db  \r\n"
                   "listen=[::1]:9090\n"
                   "site = " +
                   site +
                   "\n"
                   "public-url = https://pingel.example/\n"
                   "outbox = /var/lib/p/outbox\n"
                   "mail-command = /usr/sbin/sendmail -t\n"
                   "mail-from = spelia <spelia@pingel.example>\n"
                   "trusted-proxy = 127.0.0.1\n"
                   "   # a second proxy\n"
                   "trusted-proxy = ::1\n"
                   "rank-unproven = true\n"
                   "submissions-per-hour = 30\n"
                   "metrics-from = 192.0.2.9\n"
                   "access-log = /var/log/p/access.log"),
              "");
    EXPECT_EQ(options_.database, "/var/lib/p/portal.db");
    EXPECT_EQ(options_.listen, "[::1]:9090");
    EXPECT_EQ(listenAddress(options_.listen), (std::pair<std::string, int>{"::1", 9090}));
    EXPECT_EQ(options_.site, site);
    EXPECT_EQ(options_.publicUrl, "https://pingel.example");
    EXPECT_EQ(options_.outbox, "/var/lib/p/outbox");
    EXPECT_EQ(options_.mailCommand, (std::vector<std::string>{"/usr/sbin/sendmail", "-t"}));
    EXPECT_EQ(options_.mailFrom, "spelia <spelia@pingel.example>");
    EXPECT_EQ(options_.trustedProxies, (std::vector<std::string>{"127.0.0.1", "::1"}));
    EXPECT_TRUE(options_.rankUnproven);
    EXPECT_EQ(options_.submissionsPerHour, 30);
    EXPECT_EQ(options_.metricsFrom, (std::vector<std::string>{"192.0.2.9"}));
    EXPECT_EQ(options_.accessLog, "/var/log/p/access.log");
}

TEST_F(ServeOptionsTest, TheCommandLineWins) {
    ASSERT_EQ(load("database = /srv/a.db\nlisten = 127.0.0.1:1\nrank-unproven = true\n"
                   "trusted-proxy = 127.0.0.1\ntrusted-proxy = 127.0.0.2\n",
                   {"--listen", "127.0.0.1:2", "--trusted-proxy=::1", "--rank-unproven=false",
                    "--trusted-proxy", "127.0.0.3"}),
              "");
    EXPECT_EQ(options_.database, "/srv/a.db");
    EXPECT_EQ(options_.listen, "127.0.0.1:2");
    EXPECT_FALSE(options_.rankUnproven);
    EXPECT_EQ(options_.trustedProxies, (std::vector<std::string>{"::1", "127.0.0.3"}));
    // What depends on others follows the winners.
    EXPECT_EQ(options_.publicUrl, "http://127.0.0.1:2");
    EXPECT_EQ(options_.outbox, "/srv/outbox");

    ServeOptions flagOnly;
    std::vector<OptionSetting> given;
    const char* argv[] = {"pingel-portal", "--rank-unproven", "--listen"};
    int i = 1;
    EXPECT_EQ(takeOptionArgument(3, argv, i, given), OptionArgument::taken);
    EXPECT_FALSE(applyOptions(flagOnly, given));
    EXPECT_TRUE(flagOnly.rankUnproven);
    i = 2;
    EXPECT_EQ(takeOptionArgument(3, argv, i, given), OptionArgument::missingValue);
}

TEST_F(ServeOptionsTest, EachBadLineIsNamed) {
    const std::string file = (dir_ / "portal.conf").string();
    const struct {
        const char* text;
        const char* message; // after "FILE:"
    } cases[] = {
        {"listen", "1: expected NAME = VALUE, found listen"},
        {"# ok\n--listen = 127.0.0.1:1", "2: unknown option --listen"},
        {"config = /etc/x", "1: unknown option config"},
        {"listen = 127.0.0.1:1\nlisten = 127.0.0.1:2", "2: listen is set already on line 1"},
        {"\nlisten = 127.0.0.1", "2: listen takes ADDRESS:PORT, e.g. 127.0.0.1:8080"},
        {"listen = :80", "1: listen takes ADDRESS:PORT"},
        {"listen = 127.0.0.1:65536", "1: listen takes ADDRESS:PORT"},
        {"site = /nonexistent", "1: site /nonexistent holds no readable index.html"},
        {"public-url = ftp://x", "1: public-url takes http://HOST[:PORT] or https://HOST[:PORT]"},
        {"public-url = http://x/\"<script>", "1: public-url takes http://"},
        {"mail-from = nobody", "1: mail-from takes an address"},
        {"mail-command =    ", "1: mail-command needs a value"},
        {"trusted-proxy = 127.0.0.1\ntrusted-proxy = proxy.example",
         "2: trusted-proxy takes an IP address"},
        {"rank-unproven = yes", "1: rank-unproven takes true or false"},
        {"submissions-per-hour = 0", "1: submissions-per-hour takes a number from 1 to 1000000"},
        {"metrics-from = localhost", "1: metrics-from takes an IP address"},
        {"submissions-per-hour = 1000001", "1: submissions-per-hour takes a number"},
        {"submissions-per-hour = 5x", "1: submissions-per-hour takes a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        options_ = {};
        EXPECT_EQ(load(c.text).rfind(file + ":" + c.message, 0), 0u) << load(c.text);
    }
    EXPECT_EQ(load("listen = 127.0.0.1:1", {"--submissions-per-hour", "-1"}),
              "--submissions-per-hour takes a number from 1 to 1000000");
    EXPECT_EQ(readOptionFile((dir_ / "missing.conf").string()).error,
              "cannot read the configuration file " + (dir_ / "missing.conf").string());
}

} // namespace

// The backup of a live SQLite database; see backup.h.
#include "portal/backup.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

namespace fs = std::filesystem;

namespace {

bool postgresUrl(const std::string& database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

// Flushes the file (or folder) at `path` to the disk.
void flush(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const std::string why = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        throw CopyRefused("cannot flush " + path + " to the disk: " + why);
    }
    ::close(fd);
}

// Renames `from` to `to`; without `replace` only when nothing is at `to` (checked by the
// rename itself, so a file that appears meanwhile is not overwritten either).
void moveInto(const std::string& from, const std::string& to, bool replace) {
    int rc = replace ? ::rename(from.c_str(), to.c_str())
                     : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without RENAME_NOREPLACE: a link fails on an existing name too.
        rc = ::link(from.c_str(), to.c_str());
        if (rc == 0) {
            ::unlink(from.c_str());
        }
    }
    if (rc != 0) {
        throw CopyRefused(errno == EEXIST
                              ? to + " exists already (--replace replaces it)"
                              : "cannot rename the copy to " + to + ": " + std::strerror(errno));
    }
}

} // namespace

void backupDatabase(const std::string& database, const std::string& file, bool replace,
                    const BackupPacing& pacing) {
    if (postgresUrl(database)) {
        throw CopyRefused("backup copies an SQLite database; back up PostgreSQL with pg_dump "
                          "(e.g. pg_dump -Fc -f FILE DATABASE), or copy it into a new SQLite "
                          "file with copy --from URL --to FILE");
    }
    std::error_code error;
    if (!fs::is_regular_file(database, error)) {
        throw CopyRefused("no SQLite database at " + database);
    }
    if (file.empty() || fs::is_directory(file, error)) {
        throw CopyRefused("backup takes the name of the file to write, not a folder");
    }
    if (fs::exists(file, error)) {
        if (fs::equivalent(file, database, error)) {
            throw CopyRefused(file + " is the database itself");
        }
        if (!replace) {
            throw CopyRefused(file + " exists already (--replace replaces it)");
        }
    }
    // SQLite would apply a journal lying beside the name to the new file.
    for (const char* journal : {"-wal", "-journal"}) {
        if (fs::exists(file + journal, error)) {
            throw CopyRefused(file + journal + " lies beside " + file +
                              ": is a portal using it? (remove it if not)");
        }
    }
    const fs::path target = fs::absolute(file);
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".backup-XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data()); // mode 0600
    if (fd < 0) {
        throw CopyRefused("cannot create a file beside " + file + ": " + std::strerror(errno));
    }
    ::close(fd);
    try {
        backupSqlite(database, temporary, pacing);
        ::chmod(temporary.c_str(), 0600);
        flush(temporary, O_RDONLY);
        moveInto(temporary, target.string(), replace);
    } catch (...) {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            ::unlink((temporary + suffix).c_str());
        }
        throw;
    }
    flush(target.parent_path().string(), O_RDONLY | O_DIRECTORY);
}

int backupCommand(const std::vector<std::string>& args, const std::string& database,
                  std::ostream& err) {
    std::string file;
    bool replace = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--replace") {
            replace = true;
        } else if (file.empty() && !args[i].starts_with("--")) {
            file = args[i];
        } else {
            err << "pingel-portal: usage: backup FILE [--replace] [--database SQLITE-FILE]\n";
            return 2;
        }
    }
    if (file.empty()) {
        err << "pingel-portal: usage: backup FILE [--replace] [--database SQLITE-FILE]\n";
        return 2;
    }
    try {
        backupDatabase(database, file, replace);
    } catch (const std::exception& e) {
        err << "pingel-portal: " << e.what() << '\n';
        return 1;
    }
    err << "pingel-portal: " << database << " backed up into " << file << '\n';
    return 0;
}

// The browser version's files under "/spela/"; see site.h.
#include "portal/site.h"

#include "portal/clock.h"
#include "portal/pages.h"
#include "portal/templates.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr std::size_t fileLimit = 64 * 1024 * 1024;

// The game's page loads its own scripts and compiles its WebAssembly (which needs
// 'wasm-unsafe-eval'), fetches replays and posts scores to this portal; nothing inline.
// The page's icon is an empty data: URL, so that no static server is asked for one.
constexpr const char* gamePolicy =
    "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; "
    "img-src 'self' data:; connect-src 'self'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

struct Kind {
    const char* extension;
    const char* type;
};
constexpr Kind kinds[] = {
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript"},
    {".mjs", "text/javascript"},
    {".wasm", "application/wasm"},
    {".json", "application/json"},
    {".map", "application/json"},
    {".png", "image/png"},
    {".ico", "image/x-icon"},
    {".svg", "image/svg+xml"},
    {".txt", "text/plain; charset=utf-8"},
};

std::string contentType(const std::string& name) {
    for (const Kind& k : kinds) {
        const std::string_view ext = k.extension;
        if (name.size() > ext.size() && name.ends_with(ext)) {
            return k.type;
        }
    }
    return "application/octet-stream";
}

// The path below the folder when every segment is a plain name: letters, digits, '-', '_'
// and '.', not beginning with '.' (which also refuses "." and ".."). The library has
// decoded %-escapes already, so "%2e%2e" and "%2f" arrive here as ".." and "/".
std::optional<std::string> safeRelative(const std::string& path) {
    std::string relative = path.empty() || path.back() == '/' ? path + "index.html" : path;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        if (end == start || relative[start] == '.' || end - start > 255) {
            return std::nullopt;
        }
        for (std::size_t i = start; i < end; ++i) {
            const char c = relative[i];
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
            if (!plain) {
                return std::nullopt;
            }
        }
        start = end + 1;
    }
    return relative;
}

// The file's real path when it lies inside the folder's real path (symbolic links
// followed), else nothing: a link in the folder that points elsewhere is not served.
std::optional<std::string> insideFolder(const std::string& folder, const std::string& relative) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) {
        return std::nullopt;
    }
    const fs::path real = fs::weakly_canonical(root / relative, error);
    if (error) {
        return std::nullopt;
    }
    const auto [inRoot, inReal] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
    if (inRoot != root.end() || inReal == real.end()) {
        return std::nullopt;
    }
    return real.string();
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::optional<std::string> gzip(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END ? std::optional(out) : std::nullopt;
}

bool acceptsGzip(const http::Request& req) {
    // "gzip" listed, and not refused with q=0.
    const std::string accepted = req.header("Accept-Encoding");
    const auto at = accepted.find("gzip");
    return at != std::string::npos && accepted.compare(at, 8, "gzip;q=0") != 0 &&
           accepted.compare(at, 9, "gzip; q=0") != 0;
}

// A text or WebAssembly file compressed once per version of the file (its tag: size and time);
// a new version replaces the old one's entry.
class GzipCache {
  public:
    std::shared_ptr<const std::string> get(const std::string& path, const std::string& tag,
                                           const std::string& data) {
        std::lock_guard lock(mutex_);
        auto& [knownTag, packed] = entries_[path];
        if (!packed || knownTag != tag) {
            auto fresh = gzip(data);
            packed = fresh ? std::make_shared<const std::string>(std::move(*fresh)) : nullptr;
            knownTag = tag;
        }
        return packed;
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::pair<std::string, std::shared_ptr<const std::string>>> entries_;
};

void notBuilt(http::Response& res) {
    res.status = 404;
    res.setHeader("Cache-Control", "no-cache");
    res.setContent(pageFrame("Spela i webbläsaren", web::render("notbuilt", {})),
                   "text/html; charset=utf-8");
}

} // namespace

void addSite(http::Routes& routes, const std::string& folder) {
    // Browsers ask every site for an icon; the portal has none, and says so without the
    // error a 404 leaves in the browser's console. Asked again after a day at the most.
    routes.get(
        "/favicon.ico",
        [](const http::Request&, http::Response& res) {
            res.status = 204;
            res.setHeader("Cache-Control", "max-age=86400");
        },
        http::Runs::AtOnce);
    routes.get(
        "/spela",
        [](const http::Request& req, http::Response& res) {
            res.redirect("/spela/" + req.queryString(), 301);
        },
        http::Runs::AtOnce);
    auto cache = std::make_shared<GzipCache>();
    routes.getPrefix("/spela/", [folder, cache](const http::Request& req, http::Response& res) {
        res.setHeader("Content-Security-Policy", gamePolicy);
        const auto relative = safeRelative(req.rest);
        if (!relative) {
            res.status = 404;
            return;
        }
        const auto real = insideFolder(folder, *relative);
        const std::string path = real.value_or(folder + "/" + *relative);
        struct stat info {};
        if (!real || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            static_cast<std::size_t>(info.st_size) > fileLimit) {
            struct stat index {};
            if (::stat((folder + "/index.html").c_str(), &index) != 0) {
                notBuilt(res);
            } else {
                res.status = 404;
            }
            return;
        }
        const std::string type = contentType(*relative);
        const bool packed =
            (type == "application/wasm" || type.starts_with("text/")) && acceptsGzip(req);
        const std::string tag = "\"" + std::to_string(info.st_size) + "-" +
                                std::to_string(info.st_mtim.tv_sec) + "." +
                                std::to_string(info.st_mtim.tv_nsec) + (packed ? "-gz" : "") + "\"";
        res.setHeader("Cache-Control", "no-cache");
        res.setHeader("ETag", "W/" + tag);
        res.setHeader("Last-Modified", internetDate(info.st_mtim.tv_sec, "GMT"));
        res.setHeader("Vary", "Accept-Encoding");
        res.setHeader("X-Content-Type-Options", "nosniff");
        const std::string wanted = req.header("If-None-Match");
        if (wanted == "*" || wanted.find(tag) != std::string::npos) {
            res.status = 304;
            return;
        }
        const auto content = readFile(path);
        if (!content) {
            res.status = 404;
            return;
        }
        if (packed) {
            if (const auto gz = cache->get(path, tag, *content)) {
                res.setHeader("Content-Encoding", "gzip");
                res.setContent(gz, type);
                return;
            }
        }
        res.setContent(std::move(*content), type);
    });
}

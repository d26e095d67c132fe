// The demo site as static files: what a publisher puts behind a real web server.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

#include "core/files.h"
#include "core/text.h"
#include "lessons/catalogue_file.h"
#include "tools/demo_site/catalogue_signing.h"
#include "tools/demo_site/demo_site.h"
#include "tools/demo_site/site_content.h"

namespace pw::demo {
namespace {

namespace fs = std::filesystem;

// Any page of a former export; its presence lets --force replace the folder.
constexpr const char* kExportMark = "tovel/test.html";

// Removes a temporary folder of ours unless it has been renamed into place.
class TemporaryFolder {
public:
    explicit TemporaryFolder(fs::path path) : path_(std::move(path)) {}
    ~TemporaryFolder() {
        if (path_.empty()) return;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& Path() const { return path_; }
    void Release() { path_.clear(); }

private:
    fs::path path_;
};

// "<parent>/.<name>.<what>-XXXXXX", made private to us; empty when it cannot be made.
fs::path MakeTemporaryFolderBeside(const fs::path& target, const char* what) {
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + "." + what + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

// The page in GBK, its declared charset with it: the site's pages are GBK, as the update
// page is, so one charset serves them all.
std::string GbkPage(const std::string& utf8Page) {
    Text page = FromUtf8(utf8Page);
    static constexpr std::string_view kUtf8Meta = "<meta charset=\"utf-8\">";
    if (const std::size_t at = page.find(kUtf8Meta); at != std::string::npos)
        page.replace(at, kUtf8Meta.size(), "<meta charset=\"gbk\">");
    return page;
}

bool WriteFile(const fs::path& root, const std::string& requestPath, const std::string& body) {
    const fs::path file = root / requestPath.substr(1);
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) return false;
    return WriteWholeFile(file.string(), std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
}

std::string WriteSite(const fs::path& root, const DemoSiteOptions& options, const std::string& siteHost) {
    const SiteContent site = MakeSiteContent(options, siteHost);
    if (!site.problem.empty()) return site.problem;
    for (const auto& [path, resource] : site.resources) {
        // A folder's address serves its index.html, which is in the content under its own name.
        if (path.back() == '/') continue;
        const std::string body = resource->contentType == kUtf8Html ? GbkPage(resource->body) : resource->body;
        if (!WriteFile(root, path, body)) return "cannot write " + ToUtf8(path);
    }
    // The server answers a guestbook post and an unknown address with these (see
    // packaging/site/nginx.conf).
    if (!WriteFile(root, "/tovel/gb/thanks.html", GbkPage(site.thanksPage)) ||
        !WriteFile(root, "/tovel/404.html", GbkPage(site.notFoundPage)))
        return "cannot write the guestbook's answer or the 404 page";
    return {};
}

}  // namespace

std::string ExportSite(const DemoSiteOptions& options, const ExportRequest& request) {
    fs::path target = fs::path(request.directory).lexically_normal();
    if (target.filename().empty()) target = target.parent_path();  // "site/" is "site"
    if (target.empty() || target == "." || target == ".." || target == target.root_path())
        return "not a folder to export into: " + request.directory;
    if (target.is_relative() && !target.has_parent_path()) target = fs::path(".") / target;

    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    const bool exists = fs::exists(status);
    if (exists) {
        if (!fs::is_directory(status)) return request.directory + " exists and is not a folder";
        if (!fs::is_empty(target, error)) {
            if (!request.force) return request.directory + " is not empty (--force replaces a former export)";
            if (!fs::is_regular_file(target / kExportMark, error))
                return request.directory + " is not empty and holds no former export: not replaced";
        }
    }
    fs::create_directories(target.parent_path(), error);
    if (error) return "cannot make " + target.parent_path().string() + ": " + error.message();

    DemoSiteOptions site = options;
    if (!request.signingKeyFile.empty()) {
        const auto key = ReadSmallFile(request.signingKeyFile, 4096);
        if (!key) return "cannot read the secret key " + request.signingKeyFile;
        site.signingKey = *key;
    }
    // The serial grows from export to export: the time, and above the former one's.
    if (site.catalogueSerial == 0) {
        site.catalogueSerial = static_cast<std::uint64_t>(std::time(nullptr));
        const auto former = ReadSmallFile((target / "tovel" / kCatalogueFileName).string(), kCatalogueFileLimit);
        if (const auto serial = former ? CatalogueSerial(*former) : std::nullopt)
            site.catalogueSerial = std::max(site.catalogueSerial, *serial + 1);
    }

    TemporaryFolder staging(MakeTemporaryFolderBeside(target, "export"));
    if (staging.Path().empty()) return "cannot make a folder beside " + request.directory + ": " + std::strerror(errno);
    if (std::string problem = WriteSite(staging.Path(), site, request.siteHost); !problem.empty()) return problem;
    // mkdtemp makes the folder private; a web server's worker must read it.
    ::chmod(staging.Path().c_str(), 0755);

    // An empty folder is replaced by a plain rename; a former export is swapped with the
    // new one in one step, and then removed from where the new one was written.
    if (!exists || fs::is_empty(target, error)) {
        if (std::rename(staging.Path().c_str(), target.c_str()) != 0)
            return "cannot rename the export to " + request.directory + ": " + std::strerror(errno);
        staging.Release();
        return {};
    }
    if (::renameat2(AT_FDCWD, staging.Path().c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return {};  // the staging folder now holds the former export and goes with it
    // A file system without the exchange: the former export steps aside for a moment.
    TemporaryFolder former(MakeTemporaryFolderBeside(target, "former"));
    if (former.Path().empty() || std::rename(target.c_str(), former.Path().c_str()) != 0)
        return "cannot move the former export aside: " + std::string(std::strerror(errno));
    if (std::rename(staging.Path().c_str(), target.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::rename(former.Path().c_str(), target.c_str());
        former.Release();
        return "cannot rename the export to " + request.directory + ": " + why;
    }
    staging.Release();
    return {};
}

}  // namespace pw::demo

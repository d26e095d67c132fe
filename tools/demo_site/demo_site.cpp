#include "tools/demo_site/demo_site.h"
#include "tools/demo_site/site_content.h"

#include "core/hosts.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include "core/files.h"
#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_pictures.h"
#include "tools/demo_site/catalogue_signing.h"
#include "tools/swf/sample_lessons.h"

// The pages in tools/demo_site/pages, embedded at build time.
#define PW_DEMO_PAGE(name)                                    \
    namespace pw::embedded {                                  \
    extern const std::uint8_t kDemoPage_##name[];             \
    extern const std::size_t kDemoPage_##name##Size;          \
    }
PW_DEMO_PAGE(index)
PW_DEMO_PAGE(gb)
PW_DEMO_PAGE(gb_thanks)
PW_DEMO_PAGE(hybb)
PW_DEMO_PAGE(txbb)
PW_DEMO_PAGE(bbgcs)
PW_DEMO_PAGE(mft)
PW_DEMO_PAGE(update)
PW_DEMO_PAGE(not_found)
#undef PW_DEMO_PAGE

namespace pw::demo {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHtml = kUtf8Html;
constexpr const char* kGbkHtml = "text/html; charset=gbk";
constexpr const char* kFlash = "application/x-shockwave-flash";
constexpr const char* kJson = "application/json";
constexpr const char* kPlainText = "text/plain";
constexpr std::size_t kUnpacedPiece = 64 * 1024;
constexpr auto kPacingStep = 100ms;
// Every resource's Last-Modified: the site is made by the program, never edited.
constexpr const char* kLastModified = "Sat, 01 Jan 2022 00:00:00 GMT";

std::string Page(const std::uint8_t* bytes, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}
#define PW_PAGE(name) Page(pw::embedded::kDemoPage_##name, pw::embedded::kDemoPage_##name##Size)

std::optional<std::size_t> ParseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A strong validator of a body, in the form nginx gives its ETags: the body's FNV-1a hash
// and its length. The same body has the same one in every run of the site.
std::string EntityTag(const std::string& body) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char tag[48];
    std::snprintf(tag, sizeof tag, "\"%llx-%zx\"", static_cast<unsigned long long>(hash), body.size());
    return tag;
}

// The bytes a request's Range asks of a body of `size` bytes, read as nginx reads it.
struct RangeAnswer {
    enum class Kind { Whole, Part, Unsatisfiable } kind = Kind::Whole;
    std::size_t first = 0, last = 0;  // Part: inclusive
};

RangeAnswer AnswerRange(const httplib::Request& req, const std::string& etag, std::size_t size) {
    using Kind = RangeAnswer::Kind;
    const std::string range = req.get_header_value("Range");
    // One range of bytes only; several would take a multipart answer.
    if (!range.starts_with("bytes=") || range.find(',') != std::string::npos) return {};
    // A resource changed since the client's copy is sent whole: If-Range names the
    // validator of that copy.
    if (req.has_header("If-Range")) {
        const std::string ifRange = req.get_header_value("If-Range");
        if (ifRange != etag && ifRange != kLastModified) return {};
    }
    const std::string_view byteRange = std::string_view(range).substr(6);
    const std::size_t dash = byteRange.find('-');
    if (dash == std::string_view::npos) return {};
    const auto from = ParseCount(byteRange.substr(0, dash));
    const auto to = ParseCount(byteRange.substr(dash + 1));
    if (dash == 0) {  // the last N bytes
        if (!to) return {};
        if (*to == 0 || size == 0) return {Kind::Unsatisfiable};
        return {Kind::Part, size - std::min(*to, size), size - 1};
    }
    if (!from || (dash + 1 < byteRange.size() && (!to || *to < *from))) return {};
    if (*from >= size) return {Kind::Unsatisfiable};
    return {Kind::Part, *from, dash + 1 < byteRange.size() ? std::min(*to, size - 1) : size - 1};
}

// A version goes into the update page as it stands, so it must not carry markup or the
// page's own closing literals.
bool IsPlainVersion(std::string_view version) {
    if (version.empty() || version.size() > 32) return false;
    return std::none_of(version.begin(), version.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || c == '<' || c == '>' || c == '&' || c == '"';
    });
}

// A host name or address with an optional port and an optional scheme (http:// or
// https://), as it stands in an address: the update page names it, so it must not carry a
// path, markup or blanks.
bool IsPlainHost(std::string_view host) {
    for (std::string_view scheme : {"http://", "https://"})
        if (StartsWithNoCase(host, scheme)) host.remove_prefix(scheme.size());
    if (host.empty() || host.size() > 255) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' ||
               c == ']';
    });
}

// "pebblewick" + the ASCII digits of the version + ".swf": 2.1 gives "pebblewick21.swf".
std::string UpdateFileName(std::string_view version) {
    std::string name = "pebblewick";
    for (char c : version)
        if (c >= '0' && c <= '9') name += c;
    return name + ".swf";
}

// The update page in the form the program reads: each key in a paragraph of its own,
// the release notes over several paragraphs, all between the two block markers. GBK.
std::string UpdatePage(const DemoSiteOptions& options, const std::string& hostPort) {
    const bool offersNewer = !options.newerVersion.empty();
    const std::string version = offersNewer ? options.newerVersion : kProgramVersion;
    const std::string site = HostOrigin(hostPort) + "/tovel/";
    const bool download = options.way == UpdateWay::Download;
    const std::string fileName = UpdateFileName(version);
    const std::string address = download ? site + "update/" + fileName : site + "update.html";

    std::vector<std::string> notes;
    if (offersNewer) {
        notes = {"Pebblewick " + version + " 带来了这些新东西：",
                 "1. 新增六个好听的儿歌动画，宝宝可以跟着一起唱。",
                 "2. 下载课件更快，进度显示更清楚。",
                 "3. 修正了几处小问题，播放更稳定。"};
    } else {
        notes = {"Pebblewick 2.0 就是目前的最新版本。", "谢谢您陪孩子一起快乐学习！"};
    }

    std::string page =
        "<!DOCTYPE html>\n"
        "<html lang=\"zh-CN\">\n<head>\n<meta charset=\"gbk\">\n<title>Pebblewick 版本信息</title>\n"
        "<style>body{margin:0;padding:16px;font-family:sans-serif;background:#fff8e7;color:#5a4632}"
        "h1{color:#e8743b;font-size:26px}</style>\n</head>\n<body>\n<h1>Pebblewick 版本信息</h1>\n"
        "////开始\n"
        "<p>最新版=" + version + "</p>\n"
        "<p>下载地址=" + address + "</p>\n"
        "<p>文件命名=" + fileName + "</p>\n"
        "<p>下载方式=" + (download ? "下载文件" : "打开网页") + "</p>\n";
    for (std::size_t i = 0; i < notes.size(); ++i) {
        page += "<p>";
        if (i == 0) page += "更新说明=";
        page += notes[i];
        page += i + 1 == notes.size() ? "更新说明结束</p>\n" : "</p>\n";
    }
    page += "////结束\n</body>\n</html>\n";
    return FromUtf8(page);
}

}  // namespace

SiteContent MakeSiteContent(const DemoSiteOptions& options, const std::string& hostPort) {
    SiteContent site;
    auto add = [&site](const std::string& path, std::string body, const char* contentType, bool paced = false) {
        std::string etag = EntityTag(body);
        site.resources[path] =
            std::make_shared<const Resource>(Resource{std::move(body), contentType, paced, std::move(etag)});
    };
    const std::string home = PW_PAGE(index);
    add("/tovel/", home, kHtml);
    add("/tovel/index.html", home, kHtml);
    const std::string guestbook = PW_PAGE(gb);
    add("/tovel/gb/", guestbook, kHtml);
    add("/tovel/gb/index.html", guestbook, kHtml);
    add("/tovel/hybb.html", PW_PAGE(hybb), kHtml);
    add("/tovel/txbb.html", PW_PAGE(txbb), kHtml);
    add("/tovel/bbgcs.html", PW_PAGE(bbgcs), kHtml);
    add("/tovel/mft.html", PW_PAGE(mft), kHtml);
    add("/tovel/update.html", PW_PAGE(update), kHtml);
    site.thanksPage = PW_PAGE(gb_thanks);
    site.notFoundPage = PW_PAGE(not_found);

    add("/tovel/test.html", UpdatePage(options, hostPort), kGbkHtml);
    const std::string version = options.newerVersion.empty() ? kProgramVersion : options.newerVersion;
    const std::vector<std::uint8_t> update = swf::MakeSampleLesson(2, 5);
    add("/tovel/update/" + UpdateFileName(version), std::string(update.begin(), update.end()), kFlash, true);

    // Both lesson servers' paths on this one server; requests arrive percent-decoded,
    // so the keys are the paths' GBK bytes.
    std::map<std::string, std::string> lessons, pictures;
    for (const LessonRow& row : LessonCatalogue()) {
        const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(row.group, row.item);
        std::string body(movie.begin(), movie.end());
        lessons[FromUtf8(row.path)] = body;
        add(FromUtf8(row.path), std::move(body), kFlash, true);
        // Its picture: the site owner's, or one drawn of what the lesson shows.
        std::string cache = row.cacheName;
        cache.resize(cache.size() - 4);  // the file is "<cache>.ylq"
        std::string picture;
        if (!options.picturesDirectory.empty()) {
            const std::string file = options.picturesDirectory + "/" + cache + ".png";
            const auto owners = ReadSmallFile(file, kPictureFileLimit + 1);
            if (!owners || owners->size() > kPictureFileLimit || !IsPictureFile(*owners)) {
                site.problem = "no PNG or JPEG of at most 256 KiB at " + file;
                continue;
            }
            picture = *owners;
        } else {
            const std::vector<std::uint8_t> drawn = swf::MakeSamplePicture(row.group, row.item);
            picture.assign(drawn.begin(), drawn.end());
        }
        add(PictureRequestPath(cache), picture, picture.starts_with("\x89PNG") ? "image/png" : "image/jpeg");
        pictures[cache] = std::move(picture);
    }
    // Their catalogue beside the update page, so that the program checks them by their
    // hashes and sends no HEAD request.
    const std::uint64_t serial =
        options.catalogueSerial ? options.catalogueSerial : static_cast<std::uint64_t>(std::time(nullptr));
    const std::string catalogue = CatalogueJson(serial, lessons, pictures, options.mirrors);
    if (!ParseCatalogue(catalogue))
        site.problem = "--mirror: the catalogue would be unsound (http or https, a host, an optional port, "
                       "no path; at most 8 a server)";
    add("/tovel/" + kCatalogueFileName, catalogue, kJson);
    if (!options.signingKey.empty()) {
        if (auto signature = SignMinisign(catalogue, options.signingKey, kCatalogueFileName, site.problem))
            add("/tovel/" + kCatalogueSignatureName, std::move(*signature), kPlainText);
    }

    site.redirects = {{"/", "/tovel/"}, {"/tovel", "/tovel/"}, {"/tovel/gb", "/tovel/gb/"}};
    return site;
}

const char* Usage() {
    return "usage: pebblewick_demo_site [--port N] [--newer VERSION] [--way download|browser] "
           "[--rate KB_PER_S] [--break-once] [--pictures DIR]\n"
           "       pebblewick_demo_site --export DIR [--force] [--host HOST[:PORT]] [--sign SECRET_KEY_FILE] "
           "[--newer VERSION] [--way download|browser] [--mirror N=URL]... [--pictures DIR]\n"
           "  --port N           listen on 127.0.0.1:N (default 28960; 0 picks a free port)\n"
           "  --newer VERSION    the update page announces VERSION (default: 2.0, nothing new)\n"
           "  --way WAY          download: the program downloads the update (default);\n"
           "                     browser: it opens the update page in the web browser\n"
           "  --rate KB_PER_S    lesson transfer rate (default 150; 0 = unlimited)\n"
           "  --break-once       each lesson's first transfer breaks off halfway: choosing it\n"
           "                     again resumes it where it stopped\n"
           "  --export DIR       write the site as static files into DIR (new or empty) and exit\n"
           "  --force            with --export: replace DIR when it holds a former export\n"
           "  --host HOST        with --export: the host (and port) the site is served on, named\n"
           "                     by the update page (default 127.0.0.1:28960); https://HOST\n"
           "                     when it is served over TLS\n"
           "  --sign FILE        with --export: sign lessons.json with this unencrypted minisign\n"
           "                     secret key (minisign -G -W) into lessons.json.minisig\n"
           "  --mirror N=URL     list URL (http[s]://host[:port], no path) in the catalogue as a\n"
           "                     mirror of lesson server N (1 or 2); again for more, in order\n"
           "  --pictures DIR     each lesson's picture is DIR/<cache>.png (PNG or JPEG, at most\n"
           "                     256 KiB); without it the site draws one of each sample lesson\n";
}

CommandLine ParseCommandLine(std::span<const char* const> args) {
    CommandLine result;
    DemoSiteOptions options;
    ExportRequest exportRequest;
    bool exporting = false, force = false, exportOption = false, serverOption = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.helpRequested = true;
            return result;
        }
        if (arg == "--force") {
            force = true;
            continue;
        }
        if (arg == "--break-once") {
            serverOption = true;
            options.breakOnce = true;
            continue;
        }
        if (arg != "--port" && arg != "--newer" && arg != "--way" && arg != "--rate" && arg != "--export" &&
            arg != "--host" && arg != "--sign" && arg != "--mirror" && arg != "--pictures") {
            result.error = "unknown argument: " + std::string(arg);
            return result;
        }
        if (i + 1 == args.size()) {
            result.error = std::string(arg) + " needs a value";
            return result;
        }
        const std::string_view value = args[++i];
        if (arg == "--pictures") {
            options.picturesDirectory = value;
        } else if (arg == "--export") {
            if (value.empty()) {
                result.error = "--export needs a folder";
                return result;
            }
            exporting = true;
            exportRequest.directory = value;
        } else if (arg == "--mirror") {
            // N=URL: a mirror of lesson server N, tried in the order given.
            if (value.size() < 3 || (value[0] != '1' && value[0] != '2') || value[1] != '=') {
                result.error = "--mirror: 1=URL or 2=URL, not " + std::string(value);
                return result;
            }
            options.mirrors[value[0] - '0'].emplace_back(value.substr(2));
        } else if (arg == "--sign") {
            exportOption = true;
            exportRequest.signingKeyFile = value;
        } else if (arg == "--host") {
            if (!IsPlainHost(value)) {
                result.error = "--host: not a host or host:port: " + std::string(value);
                return result;
            }
            exportOption = true;
            exportRequest.siteHost = value;
        } else if (arg == "--port") {
            serverOption = true;
            const auto port = ParseCount(value);
            if (!port || *port > 65535) {
                result.error = "--port: not a port number: " + std::string(value);
                return result;
            }
            options.port = static_cast<int>(*port);
        } else if (arg == "--newer") {
            if (!IsPlainVersion(value)) {
                result.error = "--newer: not a plain version text: " + std::string(value);
                return result;
            }
            options.newerVersion = value;
        } else if (arg == "--way") {
            if (value == "download") {
                options.way = UpdateWay::Download;
            } else if (value == "browser") {
                options.way = UpdateWay::Browser;
            } else {
                result.error = "--way: download or browser, not " + std::string(value);
                return result;
            }
        } else {
            const auto rate = ParseCount(value);
            if (!rate || *rate > 1024 * 1024) {
                result.error = "--rate: not a rate in KB/s: " + std::string(value);
                return result;
            }
            serverOption = true;
            options.rateKbPerSecond = *rate;
        }
    }
    if (exporting && serverOption) {
        result.error = "--port, --rate and --break-once are for the live site, not for --export";
        return result;
    }
    if (!exporting && (force || exportOption)) {
        result.error = "--force, --host and --sign go with --export";
        return result;
    }
    if (exporting) {
        exportRequest.force = force;
        result.exportTo = exportRequest;
    }
    result.options = options;
    return result;
}

struct DemoSite::State {
    DemoSiteOptions options;
    httplib::Server server;
    std::thread listener;
    int port = 0;
    // Filled before the server starts and only read afterwards.
    SiteContent site;

    std::mutex mutex;
    std::condition_variable stopRequested;
    bool stopping = false;
    std::set<const Resource*> brokenOff;  // with breakOnce: those whose transfer broke off once

    // With breakOnce: where a transfer of the whole of `resource` breaks off, until one has.
    std::optional<std::size_t> BreakPoint(const Resource& resource) {
        if (!options.breakOnce || !resource.paced) return std::nullopt;
        std::lock_guard lock(mutex);
        if (brokenOff.count(&resource) != 0) return std::nullopt;
        return resource.body.size() / 2;
    }

    // Waits for `duration`; false when the site stops meanwhile.
    bool Pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex);
        return !stopRequested.wait_for(lock, duration, [this] { return stopping; });
    }

    bool Stopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    std::size_t PieceSize(const Resource& resource) const {
        if (!resource.paced || options.rateKbPerSecond == 0) return kUnpacedPiece;
        return std::max<std::size_t>(1, options.rateKbPerSecond * 1024 * kPacingStep.count() / 1000);
    }

    // The next piece of the body's bytes from `offset` up to `end`, or up to `breakAt`
    // where the connection is then closed.
    bool SendPiece(const Resource& resource, std::size_t offset, std::size_t end, std::optional<std::size_t> breakAt,
                   httplib::DataSink& sink) {
        if (Stopping()) return false;
        if (breakAt && offset >= *breakAt) {
            std::lock_guard lock(mutex);
            brokenOff.insert(&resource);
            return false;
        }
        const bool paced = resource.paced && options.rateKbPerSecond > 0;
        if (paced && offset > 0 && !Pause(kPacingStep)) return false;
        const std::size_t n = std::min({end - offset, PieceSize(resource), breakAt.value_or(end) - offset});
        return sink.write(resource.body.data() + offset, n);
    }

    void HandleGet(const httplib::Request& req, httplib::Response& res) {
        if (const auto redirect = site.redirects.find(req.path); redirect != site.redirects.end()) {
            res.set_redirect(redirect->second);
            return;
        }
        const auto found = site.resources.find(req.path);
        if (found == site.resources.end()) {
            res.status = 404;
            return;
        }
        const std::shared_ptr<const Resource> resource = found->second;
        const std::size_t size = resource->body.size();
        res.status = 200;
        res.set_header("ETag", resource->etag);
        res.set_header("Last-Modified", kLastModified);
        res.set_header("Accept-Ranges", "bytes");
        // httplib would answer a Range by itself, whatever If-Range says: ranges are
        // answered here, as nginx answers them.
        const RangeAnswer range = AnswerRange(req, resource->etag, size);
        const_cast<httplib::Request&>(req).ranges.clear();
        if (range.kind == RangeAnswer::Kind::Unsatisfiable) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        std::size_t first = 0, end = size;
        if (range.kind == RangeAnswer::Kind::Part) {
            res.status = 206;
            first = range.first;
            end = range.last + 1;
            res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(range.last) + "/" +
                                                std::to_string(size));
        }
        if (size < kUnpacedPiece && !resource->paced) {
            res.set_content(resource->body.substr(first, end - first), resource->contentType.c_str());
            return;
        }
        // Sent in pieces; HEAD gets the same Content-Length without the body.
        const std::optional<std::size_t> breakAt = first == 0 ? BreakPoint(*resource) : std::nullopt;
        res.set_content_provider(
            end - first, resource->contentType.c_str(),
            [this, resource, first, end, breakAt](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                return SendPiece(*resource, first + offset, end, breakAt, sink);
            });
    }

    // The guestbook's form stores nothing: it only thanks the writer.
    void HandlePost(const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/tovel/gb/" || req.path == "/tovel/gb/index.html") {
            res.set_content(site.thanksPage, kHtml);
        } else if (site.resources.count(req.path) != 0) {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
        } else {
            res.status = 404;
        }
    }

    void HandleError(const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        if (res.status == 404) {
            res.set_content(site.notFoundPage, kHtml);
        } else {
            res.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Pebblewick</title></head>"
                            "<body><p>" + std::to_string(res.status) + "</p></body></html>\n",
                            kHtml);
        }
    }
};

std::unique_ptr<DemoSite> DemoSite::Start(const DemoSiteOptions& options) {
    auto state = std::make_unique<State>();
    State& s = *state;
    s.options = options;
    if (s.options.signingKey.empty()) s.options.signingKey = DemoSiteSecretKey();
    // A browser opens several connections at once, and lessons go out slowly.
    s.server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // An idle kept-alive connection must not hold up the shutdown for long.
    s.server.set_keep_alive_timeout(1);
    s.server.set_write_timeout(30, 0);
    // The guestbook form is the only thing anyone posts; nothing large is expected.
    s.server.set_payload_max_length(64 * 1024);
    // The library's default would set SO_REUSEPORT, and a second site started on a port
    // already served would silently share it. SO_REUSEADDR alone still allows a quick
    // restart while old connections linger.
    s.server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    s.server.Get(".*", [&s](const httplib::Request& req, httplib::Response& res) { s.HandleGet(req, res); });
    s.server.Post(".*", [&s](const httplib::Request& req, httplib::Response& res) { s.HandlePost(req, res); });
    s.server.set_error_handler([&s](const httplib::Request& req, httplib::Response& res) { s.HandleError(req, res); });

    if (options.port == 0) {
        s.port = s.server.bind_to_any_port("127.0.0.1");
    } else if (s.server.bind_to_port("127.0.0.1", options.port)) {
        s.port = options.port;
    }
    if (s.port <= 0) return nullptr;
    // The update page names this address, so the content is made once the port is known.
    s.site = MakeSiteContent(s.options, "127.0.0.1:" + std::to_string(s.port));
    // Connections wait in the backlog until the loop accepts them.
    s.listener = std::thread([&s] { s.server.listen_after_bind(); });
    // A stop before the loop runs would be lost and leave the loop running for ever.
    while (!s.server.is_running()) std::this_thread::sleep_for(1ms);
    return std::unique_ptr<DemoSite>(new DemoSite(std::move(state)));
}

DemoSite::DemoSite(std::unique_ptr<State> state) : state_(std::move(state)) {}

DemoSite::~DemoSite() { Stop(); }

void DemoSite::Stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->stopRequested.notify_all();
    state_->server.stop();
    if (state_->listener.joinable()) state_->listener.join();
}

int DemoSite::Port() const { return state_->port; }
std::string DemoSite::HostPort() const { return "127.0.0.1:" + std::to_string(state_->port); }
std::string DemoSite::BaseUrl() const { return "http://" + HostPort() + "/tovel/"; }

}  // namespace pw::demo

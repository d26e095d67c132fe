#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The demo site: the program's web site (home page, guestbook, the four pages of the
// pages window, the update page), the 32 sample lessons at the catalogue's paths of both
// lesson servers and their catalogue signed with the demo site's key, all on one loopback
// address.
namespace pw::demo {

enum class UpdateWay {
    Download,  // "下载文件": the program downloads the announced file and plays it
    Browser,   // "打开网页": the program opens a page of the site in the web browser
};

struct DemoSiteOptions {
    int port = 28960;  // 0: any free port
    // The version the update page announces (UTF-8); empty announces the program's own
    // version, so nothing is offered.
    std::string newerVersion;
    UpdateWay way = UpdateWay::Download;
    // Lesson bodies go out at this rate so that the progress display can be watched;
    // 0 sends them as fast as the client reads.
    std::size_t rateKbPerSecond = 150;
    // The first transfer of each lesson (and of the update file) breaks off halfway, so
    // that choosing the lesson again shows a download resumed where it stopped.
    bool breakOnce = false;
    // The lesson catalogue's serial; 0: the time the site's content is made, in seconds.
    std::uint64_t catalogueSerial = 0;
    // The text of the unencrypted minisign secret key file that signs the catalogue; empty:
    // no signature (an export), the demo site's own key (the live site).
    std::string signingKey;
    // The catalogue's mirrors: base addresses ("http://10.0.0.5:8080") by lesson server 1 or 2.
    std::map<int, std::vector<std::string>> mirrors;
    // "--pictures DIR": each lesson's picture is the site owner's DIR/<cache>.png; empty:
    // the site draws one of what its sample lesson shows.
    std::string picturesDirectory;
};

inline constexpr int kDefaultPort = 28960;
// The version the program calls its own.
inline constexpr const char* kProgramVersion = "2.0";

// The site written out as static files, for any web server to serve.
struct ExportRequest {
    std::string directory;
    // Replaces a folder that holds a former export; any other non-empty folder is refused.
    bool force = false;
    // The host (and port) the site will be served on, "https://" before it when served
    // over TLS: the update page names its addresses there.
    std::string siteHost = "127.0.0.1:28960";
    // "--sign FILE": the minisign secret key file that signs lessons.json.
    std::string signingKeyFile{};
};

struct CommandLine {
    std::optional<DemoSiteOptions> options;  // nothing when the arguments are wrong
    std::optional<ExportRequest> exportTo;   // "--export DIR": write the site, do not serve it
    std::string error;                       // why, for the user
    bool helpRequested = false;
};

// Reads "--port N", "--newer VERSION", "--way download|browser", "--rate KB_PER_S",
// "--break-once", "--export DIR", "--force", "--host HOST", "--sign FILE", "--mirror N=URL"
// (again for more), "--pictures DIR" and "--help" (the
// program's own name not included).
CommandLine ParseCommandLine(std::span<const char* const> args);
const char* Usage();

// Writes the whole site into `request.directory`: the pages and the guestbook's answer
// in GBK, the update page (as `options` make it), the update file and the 32 lessons at
// the catalogue's paths, their file names the paths' GBK bytes, a picture for each at
// tovel/pictures/<cache>.png, and the lesson catalogue tovel/lessons.json with their and
// their pictures' sizes and hashes, signed (lessons.json.minisig) when the
// request names a key. Its serial is the time of the export, and above the former
// export's when one is replaced. Written into a folder beside it and renamed into place
// at the end, so the folder is never seen half written. Empty on success, else why not.
std::string ExportSite(const DemoSiteOptions& options, const ExportRequest& request);

class DemoSite {
public:
    // Starts serving on 127.0.0.1; nothing when the port cannot be bound.
    static std::unique_ptr<DemoSite> Start(const DemoSiteOptions& options);
    ~DemoSite();
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    int Port() const;
    std::string HostPort() const;  // "127.0.0.1:PORT"
    std::string BaseUrl() const;   // "http://127.0.0.1:PORT/tovel/"

    // Ends every transfer, closes the connections and stops listening; also done by the
    // destructor.
    void Stop();

private:
    struct State;
    explicit DemoSite(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pw::demo

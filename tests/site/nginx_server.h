#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/hardening/hardening_support.h"
#include "tests/support/temp_dir.h"

namespace pw::testing {

// One request as nginx logged it.
struct LoggedRequest {
    std::string method, uri;  // the URI as sent, percent-encoding kept
    int status = 0;
};

// Lines of a server block as written there, and what the test puts in their place.
using LineReplacements = std::vector<std::pair<std::string, std::string>>;

// A real nginx on 127.0.0.1 serving `root` with one of the project's server blocks: run as
// the invoking user, everything of its own (configuration, logs, pid, temporary files) in
// a temporary prefix, stopped by the destructor.
class NginxServer {
public:
    // `serverBlock` listens on 127.0.0.1:`port` instead of the address its listen line
    // names, serves `root`, has each of `lines` replaced, and includes the locations it
    // shares with the other block from beside it. Nothing when nginx did not come up on
    // `port` (then `why` says what it logged).
    static std::unique_ptr<NginxServer> Start(const std::string& serverBlock, const std::string& root, int port,
                                              std::string& why, const LineReplacements& lines = {}) {
        if (::access(kNginx, X_OK) != 0) {
            why = std::string("no ") + kNginx + ": scripts/setup.sh installs nginx-light";
            return nullptr;
        }
        auto server = std::unique_ptr<NginxServer>(new NginxServer());
        const std::string& p = server->prefix_.Path();
        std::string site = ReadWholeFile(serverBlock);
        bool complete =
            ListenOn(site, port) && Substitute(site, "    root /srv/pebblewick/site;", "    root " + root + ";");
        for (const auto& [line, replacement] : lines) complete = complete && Substitute(site, line, replacement);
        if (!complete) {
            why = serverBlock + " lacks its listen or root line, or one the test replaces";
            return nullptr;
        }
        WriteWholeFile(p + "/site.conf", site);
        // Its include names nginx's snippets folder, which is beside the configuration.
        std::filesystem::create_directory(p + "/snippets");
        const std::string shared = "pebblewick-site.conf";
        WriteWholeFile(p + "/snippets/" + shared,
                       ReadWholeFile(std::filesystem::path(serverBlock).replace_filename(shared)));
        std::ostringstream conf;
        // As root the workers would drop to nobody, who cannot read a private test folder.
        if (::geteuid() == 0) conf << "user root;\n";
        conf << "daemon off;\npid " << p << "/nginx.pid;\nerror_log " << p << "/error.log;\n"
             << "events { worker_connections 64; }\nhttp {\n"
             << "  log_format methods '$request_method $request_uri $status';\n"
             << "  access_log " << p << "/access.log methods;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << temp << "_temp_path " << p << "/" << temp << ";\n";
        conf << "  include " << p << "/site.conf;\n}\n";
        WriteWholeFile(p + "/nginx.conf", conf.str());

        const std::string conf_path = p + "/nginx.conf", error_log = p + "/error.log";
        const char* argv[] = {kNginx, "-p", p.c_str(), "-c", conf_path.c_str(), "-e", error_log.c_str(),
                              nullptr};
        server->pid_ = ::fork();
        if (server->pid_ == 0) {
            // Ends with the test, also when the test process dies.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        const bool up = server->pid_ > 0 && WaitFor([&] { return !server->Alive() || Answers(port); },
                                                    std::chrono::seconds(60));
        if (!up || !server->Alive()) {
            why = "nginx did not start: " + ReadWholeFile(error_log);
            return nullptr;
        }
        return server;
    }

    ~NginxServer() {
        if (pid_ <= 0 || exited_) return;
        ::kill(pid_, SIGTERM);  // fast shutdown: the master ends its workers
        ::waitpid(pid_, nullptr, 0);
    }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // The requests logged so far, in order.
    std::vector<LoggedRequest> Log() const {
        std::vector<LoggedRequest> lines;
        std::ifstream in(prefix_.Path() + "/access.log");
        LoggedRequest r;
        while (in >> r.method >> r.uri >> r.status) lines.push_back(r);
        return lines;
    }

private:
    static constexpr const char* kNginx = "/usr/sbin/nginx";

    NginxServer() = default;

    static bool Substitute(std::string& text, const std::string& line, const std::string& replacement) {
        const std::size_t at = text.find(line + "\n");
        if (at == std::string::npos) return false;
        text.replace(at, line.size(), replacement);
        return true;
    }

    // The listen line's address (up to its first blank or semicolon) becomes 127.0.0.1:port.
    static bool ListenOn(std::string& text, int port) {
        const std::string key = "\n    listen ";
        const std::size_t at = text.find(key);
        if (at == std::string::npos) return false;
        const std::size_t from = at + key.size(), to = text.find_first_of(" ;", from);
        if (to == std::string::npos) return false;
        text.replace(from, to - from, "127.0.0.1:" + std::to_string(port));
        return true;
    }

    static bool Answers(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    bool Alive() {
        if (!exited_ && ::waitpid(pid_, nullptr, WNOHANG) == pid_) exited_ = true;
        return !exited_;
    }

    TempDir prefix_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

}  // namespace pw::testing

#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "core/hosts.h"
#include "tests/site/nginx_server.h"
#include "tests/support/temp_dir.h"
#include "tools/demo_site/demo_site.h"

extern char** environ;

namespace pw::testing {

// A certificate authority of the test's own and a server certificate it issued, made at
// run time with the openssl tool. No host name is involved: the certificate names an IP
// address.
struct TestAuthority {
    std::string authority;               // the authority's certificate (PEM): what a client trusts
    std::string certificate, privateKey;  // the server's
};

// Runs `argv` (found on PATH) to its end, its chatter discarded; true when it exits with 0.
inline bool RunTool(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool started = ::posix_spawnp(&pid, args[0], &quiet, nullptr, args.data(), environ) == 0;
    ::posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    return started && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// An authority and a certificate for `address` (an IP address) in `dir`, valid for two
// days; nothing when openssl failed (scripts/setup.sh installs it).
inline std::unique_ptr<TestAuthority> MakeTestAuthority(const std::string& dir, const std::string& address) {
    auto made = std::make_unique<TestAuthority>(
        TestAuthority{dir + "/authority.pem", dir + "/server.pem", dir + "/server.key"});
    const std::string authorityKey = dir + "/authority.key", request = dir + "/server.csr",
                      extensions = dir + "/server.ext";
    WriteWholeFile(extensions, "subjectAltName = IP:" + address +
                                   "\nbasicConstraints = critical, CA:FALSE\nkeyUsage = critical, digitalSignature"
                                   "\nextendedKeyUsage = serverAuth\nsubjectKeyIdentifier = hash"
                                   "\nauthorityKeyIdentifier = keyid\n");
    const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-noenc"};
    std::vector<std::string> authority = {"openssl", "req", "-x509", "-days", "2", "-subj",
                                          "/CN=Pebblewick test authority", "-keyout", authorityKey, "-out",
                                          made->authority, "-addext", "basicConstraints = critical, CA:TRUE",
                                          "-addext", "keyUsage = critical, keyCertSign, cRLSign"};
    std::vector<std::string> server = {"openssl", "req", "-subj", "/CN=" + address, "-keyout", made->privateKey,
                                       "-out", request};
    authority.insert(authority.begin() + 3, newKey.begin(), newKey.end());
    server.insert(server.begin() + 2, newKey.begin(), newKey.end());
    const bool ok = RunTool(authority) && RunTool(server) &&
                    RunTool({"openssl", "x509", "-req", "-days", "2", "-in", request, "-CA", made->authority,
                             "-CAkey", authorityKey, "-set_serial", "2", "-extfile", extensions, "-out",
                             made->certificate});
    return ok ? std::move(made) : nullptr;
}

// The demo site exported and served by nginx on a free port of 127.0.0.1: over plain http
// with packaging/site/nginx.conf, or, given `tls`, over https with nginx-tls.conf and the
// server certificate of `tls`. The export names the site's own address in its update page.
struct ServedSite {
    Text host;  // as the program's hosts are written: "127.0.0.1:PORT" or "https://127.0.0.1:PORT"
    std::unique_ptr<NginxServer> nginx;
};

inline ServedSite ServeDemoSite(const std::string& root, const demo::DemoSiteOptions& options,
                                const TestAuthority* tls, std::string& why) {
    ServedSite site;
    const std::string block =
        PEBBLEWICK_SOURCE_DIR "/packaging/site/" + std::string(tls ? "nginx-tls.conf" : "nginx.conf");
    LineReplacements lines;
    if (tls)
        lines = {{"    ssl_certificate /etc/ssl/pebblewick/fullchain.pem;",
                  "    ssl_certificate " + tls->certificate + ";"},
                 {"    ssl_certificate_key /etc/ssl/pebblewick/privkey.pem;",
                  "    ssl_certificate_key " + tls->privateKey + ";"}};
    // A port found free may be taken before nginx binds it: then another one.
    for (int attempt = 0; attempt < 5 && !site.nginx; ++attempt) {
        const int port = ClosedLoopbackPort();
        site.host = std::string(tls ? "https://" : "") + "127.0.0.1:" + std::to_string(port);
        why = demo::ExportSite(options, {root, true, site.host});
        if (!why.empty()) return site;
        site.nginx = NginxServer::Start(block, root, port, why, lines);
    }
    return site;
}

}  // namespace pw::testing

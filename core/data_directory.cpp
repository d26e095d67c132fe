#include "core/data_directory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/files.h"

namespace pw {
namespace {

constexpr char kFolderName[] = "pebblewick";

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

bool IsDirectory(const Text& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Text HomeOfUser() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? Text(entry->pw_dir) : Text();
}

Text XdgDirectory(const char* xdgHome, const char* home, const char* underHome) {
    if (IsAbsolute(xdgHome)) return JoinPath(xdgHome, kFolderName);
    if (IsAbsolute(home)) return JoinPath(home, Text(underHome) + "/" + kFolderName);
    return {};
}

// HOME, or the password entry's home when HOME is no absolute path.
Text HomeOfProcess() {
    const char* home = std::getenv("HOME");
    return IsAbsolute(home) ? Text(home) : HomeOfUser();
}

}  // namespace

bool MakeDirectories(const Text& path) {
    if (IsDirectory(path)) return true;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const Text prefix = path.substr(0, slash);
        // An existing folder may answer EACCES rather than EEXIST: look, don't trust errno.
        if (::mkdir(prefix.c_str(), 0700) != 0 && !IsDirectory(prefix)) return false;
        if (slash == Text::npos) break;
    }
    return IsDirectory(path);
}

Text XdgDataDirectory(const char* xdgDataHome, const char* home) {
    return XdgDirectory(xdgDataHome, home, ".local/share");
}

Text XdgUserDirectory(const char* variable, const char* underHome) {
    const Text home = HomeOfProcess();
    return XdgDirectory(std::getenv(variable), home.c_str(), underHome);
}

bool IsWritableDirectory(const Text& directory) {
    if (directory.empty() || ::access(directory.c_str(), W_OK | X_OK) != 0) return false;
    Text probe = directory + "/.pebblewick-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    return ::unlink(probe.c_str()) == 0;
}

Text ChooseDataDirectory(const Text& programDirectory, const char* xdgDataHome, const char* home) {
    if (IsWritableDirectory(programDirectory)) return programDirectory;
    const Text data = XdgDataDirectory(xdgDataHome, home);
    if (data.empty()) return programDirectory;
    MakeDirectories(data);
    return data;
}

Text ChooseDataDirectory(const Text& programDirectory) {
    const Text home = HomeOfProcess();
    return ChooseDataDirectory(programDirectory, std::getenv("XDG_DATA_HOME"), home.c_str());
}

}  // namespace pw

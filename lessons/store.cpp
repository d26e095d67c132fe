#include "lessons/store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "core/data_directory.h"
#include "core/files.h"

namespace pw {
namespace {

// Two copies of the program started at once wait for each other's lock this long.
constexpr int kBusyTimeoutMs = 5000;
// A range of days asked for is never longer than this (ten years).
constexpr LocalDay kLongestRange = 3660;
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS kept(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS lesson_hash(device INTEGER, inode INTEGER, size INTEGER, modified INTEGER,
    sha BLOB NOT NULL, PRIMARY KEY(device, inode, size, modified)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS day_use(day INTEGER PRIMARY KEY, used_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS lesson_use(day INTEGER, cache_name TEXT, shown_ms INTEGER NOT NULL,
    chosen INTEGER NOT NULL, PRIMARY KEY(day, cache_name)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS last_play(cache_name TEXT PRIMARY KEY, when_ms INTEGER NOT NULL,
    day INTEGER NOT NULL, played INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS favourite(cache_name TEXT PRIMARY KEY) WITHOUT ROWID;
PRAGMA user_version = 1;
)sql";

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

// One prepared statement: bound in order, stepped row by row, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        sqlite3_stmt* made = nullptr;
        result_ = sqlite3_prepare_v2(db, sql, -1, &made, nullptr);
        statement_.reset(made);
    }
    Statement& Bind(std::int64_t value) {
        if (ok()) result_ = sqlite3_bind_int64(statement_.get(), ++bound_, value);
        return *this;
    }
    Statement& Bind(const std::string& text) {
        if (ok())
            result_ = sqlite3_bind_text(statement_.get(), ++bound_, text.data(), static_cast<int>(text.size()),
                                        SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(const Sha256& sha) {
        if (ok()) result_ = sqlite3_bind_blob(statement_.get(), ++bound_, sha.data(), sha.size(), SQLITE_TRANSIENT);
        return *this;
    }
    // True while a row is there to read.
    bool Next() {
        if (!ok()) return false;
        result_ = sqlite3_step(statement_.get());
        return result_ == SQLITE_ROW;
    }
    // Runs a statement that gives no rows: SQLITE_OK or the error.
    int Run() {
        while (Next()) {
        }
        return result_ == SQLITE_DONE ? SQLITE_OK : result_;
    }
    std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }
    std::string String(int column) const {
        const auto* text = sqlite3_column_text(statement_.get(), column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)))
                    : std::string();
    }
    std::optional<Sha256> Hash(int column) const {
        Sha256 sha{};
        if (sqlite3_column_bytes(statement_.get(), column) != static_cast<int>(sha.size())) return std::nullopt;
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_.get(), column));
        std::copy(bytes, bytes + sha.size(), sha.begin());
        return sha;
    }
    int Result() const { return result_; }

private:
    bool ok() const { return result_ == SQLITE_OK || result_ == SQLITE_ROW; }
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    std::unique_ptr<sqlite3_stmt, Finalize> statement_;
    int result_ = SQLITE_OK;
    int bound_ = 0;
};

int Execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// What a failed SQLite call means as an errno, as the rest of the program reports it.
int ErrnoOf(sqlite3* db, int result) {
    const int system = db ? sqlite3_system_errno(db) : 0;
    switch (result & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return 0;
    case SQLITE_FULL: return ENOSPC;
    case SQLITE_READONLY: return EROFS;
    case SQLITE_PERM: return EACCES;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return EBUSY;
    case SQLITE_NOMEM: return ENOMEM;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: return system != 0 ? system : EIO;
    default: return EIO;
    }
}

bool IsDamage(int result) { return (result & 0xff) == SQLITE_NOTADB || (result & 0xff) == SQLITE_CORRUPT; }

std::optional<std::pair<dev_t, ino_t>> FileIdOf(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

struct Opened {
    Connection db;
    int result = SQLITE_OK;  // of the first step that failed
};

// Opens the database at `path` (empty: in memory), sets it up and checks it.
Opened OpenDatabase(const Text& path, const char* vfs, bool check) {
    Opened opened;
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX |
                      (path.empty() ? SQLITE_OPEN_MEMORY : 0);
    opened.result = sqlite3_open_v2(path.empty() ? ":memory:" : path.c_str(), &db, flags, vfs);
    opened.db.reset(db);
    if (opened.result != SQLITE_OK) return opened;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!path.empty()) {
        Statement wal(db, "PRAGMA journal_mode=WAL");
        if (!wal.Next()) {
            opened.result = wal.Result() == SQLITE_DONE ? SQLITE_IOERR : wal.Result();
            return opened;
        }
    }
    if ((opened.result = Execute(db, "PRAGMA synchronous=FULL")) != SQLITE_OK) return opened;
    if (check) {
        Statement quick(db, "PRAGMA quick_check");
        if (!quick.Next()) {
            opened.result = quick.Result();
            return opened;
        }
        if (quick.String(0) != "ok") {
            opened.result = SQLITE_CORRUPT;
            return opened;
        }
    }
    Statement version(db, "PRAGMA user_version");
    if (!version.Next()) {
        opened.result = version.Result();
        return opened;
    }
    if (version.Integer(0) < kSchemaVersion) opened.result = Execute(db, kSchema);
    return opened;
}

// OpenDatabase, again while another copy of the program holds the lock it needs: setting
// up WAL can find it busy at once, where SQLite does not wait (it could deadlock).
Opened OpenWhenFree(const Text& path, const char* vfs, bool check) {
    Opened opened = OpenDatabase(path, vfs, check);
    for (int waited = 0; (opened.result & 0xff) == SQLITE_BUSY && waited < kBusyTimeoutMs; waited += 20) {
        opened.db.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        opened = OpenDatabase(path, vfs, check);
    }
    return opened;
}

// Moves the damaged database, and the journal beside it, out of the way.
void MoveAside(const Text& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const Text from = path + suffix;
        const Text to = path + ".damaged" + suffix;
        std::rename(from.c_str(), to.c_str());
    }
}

}  // namespace

Text StorePath() {
    const Text folder = XdgUserDirectory("XDG_STATE_HOME", ".local/state");
    return folder.empty() ? Text() : JoinPath(folder, "pebblewick.db");
}

LocalDay LocalDayOf(WallTime time) {
    const std::time_t seconds = static_cast<std::time_t>(std::chrono::floor<std::chrono::seconds>(time).count());
    std::tm local{};
    if (!::localtime_r(&seconds, &local)) return std::chrono::floor<std::chrono::days>(time).count();
    const std::chrono::year_month_day date{std::chrono::year(local.tm_year + 1900),
                                           std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                           std::chrono::day(static_cast<unsigned>(local.tm_mday))};
    return std::chrono::sys_days(date).time_since_epoch().count();
}

WallTime StartOfLocalDay(LocalDay day) {
    const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(day))};
    std::tm local{};
    local.tm_year = static_cast<int>(date.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    local.tm_isdst = -1;
    const std::time_t start = std::mktime(&local);
    if (start == -1) return std::chrono::duration_cast<WallTime>(std::chrono::days(day));
    // A midnight that a clock change skips gives the day's first hour.
    return std::chrono::duration_cast<WallTime>(std::chrono::seconds(start));
}

struct Store::Impl {
    using Write = std::function<int(sqlite3*)>;

    // Connections first, the thread last: it ends (and applies what is queued) before they close.
    Connection writer;
    Connection reader;  // on a file; in memory the writer serves the reads too
    mutable std::mutex readMutex;

    std::mutex queueMutex;
    std::condition_variable_any queueChanged;
    std::deque<Write> queue;
    std::uint64_t queued = 0;   // writes handed in
    std::uint64_t applied = 0;  // writes applied (or failed)
    std::atomic<int> lastError{0};
    int inMemoryBecause = 0;  // why the store has no file: every write is lost at the end

    // Kept in memory as well, so that they read back at once what was just set.
    std::mutex smallMutex;
    std::set<Text> favourites;
    std::uint64_t floor = 0;

    std::jthread thread;

    sqlite3* ReadDb() const { return reader ? reader.get() : writer.get(); }

    void Enqueue(Write write) {
        {
            std::lock_guard lock(queueMutex);
            queue.push_back(std::move(write));
            ++queued;
        }
        queueChanged.notify_all();
    }

    void WaitApplied() {
        std::unique_lock lock(queueMutex);
        const std::uint64_t target = queued;
        queueChanged.wait(lock, [&] { return applied >= target; });
    }

    // Applies what is queued, in one transaction a batch, until stopped with nothing left.
    void Run(std::stop_token stop) {
        for (;;) {
            std::deque<Write> batch;
            {
                std::unique_lock lock(queueMutex);
                queueChanged.wait(lock, stop, [&] { return !queue.empty(); });
                if (queue.empty()) return;  // stopped, all applied
                batch.swap(queue);
            }
            Apply(batch);
            {
                std::lock_guard lock(queueMutex);
                applied += batch.size();
            }
            queueChanged.notify_all();
        }
    }

    void Apply(const std::deque<Write>& batch) {
        std::unique_lock<std::mutex> shared;
        if (!reader) shared = std::unique_lock(readMutex);
        sqlite3* db = writer.get();
        int result = Execute(db, "BEGIN IMMEDIATE");
        for (auto write = batch.begin(); result == SQLITE_OK && write != batch.end(); ++write) result = (*write)(db);
        if (result == SQLITE_OK) result = Execute(db, "COMMIT");
        if (result != SQLITE_OK) {
            const int error = ErrnoOf(db, result);
            if (!sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
            lastError = error != 0 ? error : EIO;
        } else {
            lastError = 0;
        }
    }

    // A read sees every write queued before it.
    template <class Read>
    auto ReadNow(Read read) {
        WaitApplied();
        std::lock_guard lock(readMutex);
        return read(ReadDb());
    }
};

Store::Store(Text path) : Store(std::move(path), nullptr) {}

Store::Store(Text path, const char* vfs) : impl_(std::make_unique<Impl>()) {
    int openError = 0;
    if (!path.empty()) {
        MakeDirectories(FolderOf(path));
        const auto before = FileIdOf(path);
        Opened opened = OpenWhenFree(path, vfs, true);
        if (IsDamage(opened.result)) {
            opened.db.reset();
            // Only the file this copy looked at: another copy may have begun a new one.
            if (FileIdOf(path) == before) MoveAside(path);
            opened = OpenWhenFree(path, vfs, false);
        }
        if (opened.result == SQLITE_OK) {
            Opened reading = OpenWhenFree(path, vfs, false);
            if (reading.result == SQLITE_OK) {
                impl_->writer = std::move(opened.db);
                impl_->reader = std::move(reading.db);
            } else {
                openError = ErrnoOf(reading.db.get(), reading.result);
            }
        } else {
            openError = ErrnoOf(opened.db.get(), opened.result);
        }
    }
    if (!impl_->writer && !path.empty()) {
        // No file to keep it in (no home, a folder that takes no file): this run only.
        impl_->inMemoryBecause = openError != 0 ? openError : EIO;
    }
    if (!impl_->writer) impl_->writer = OpenDatabase({}, vfs, false).db;
    {
        Statement favourites(impl_->writer.get(), "SELECT cache_name FROM favourite");
        while (favourites.Next()) impl_->favourites.insert(favourites.String(0));
        Statement floor(impl_->writer.get(), "SELECT value FROM kept WHERE key = 'catalogue_floor'");
        if (floor.Next()) impl_->floor = static_cast<std::uint64_t>(std::max<std::int64_t>(floor.Integer(0), 0));
    }
    impl_->thread = std::jthread([impl = impl_.get()](std::stop_token stop) { impl->Run(stop); });
}

Store::~Store() = default;

int Store::LastWriteError() const {
    const int error = impl_->lastError;
    return error != 0 ? error : impl_->inMemoryBecause;
}

void Store::Flush() { impl_->WaitApplied(); }

std::optional<SavedCornerRecord> Store::LoadCornerRecord() const {
    return impl_->ReadNow([](sqlite3* db) -> std::optional<SavedCornerRecord> {
        Statement read(db, "SELECT value FROM kept WHERE key = 'corner'");
        if (!read.Next()) return std::nullopt;
        // Read as the file was, key by key, each value kept within its limits.
        return ParseCornerRecord(read.String(0));
    });
}

void Store::SaveCornerRecord(const CornerRecord& record, WallTime savedAt) {
    impl_->Enqueue([text = FormatCornerRecord(record, savedAt)](sqlite3* db) {
        return Statement(db, "INSERT OR REPLACE INTO kept(key, value) VALUES('corner', ?)").Bind(text).Run();
    });
}

std::optional<Sha256> Store::KeptHash(const FileIdentity& identity) const {
    return impl_->ReadNow([&](sqlite3* db) -> std::optional<Sha256> {
        const auto& [device, inode, size, modified] = identity;
        Statement read(db, "SELECT sha FROM lesson_hash WHERE device = ? AND inode = ? AND size = ? AND modified = ?");
        read.Bind(static_cast<std::int64_t>(device)).Bind(static_cast<std::int64_t>(inode)).Bind(size).Bind(modified);
        return read.Next() ? read.Hash(0) : std::nullopt;
    });
}

void Store::KeepHash(const FileIdentity& identity, const Sha256& sha) {
    impl_->Enqueue([identity, sha](sqlite3* db) {
        const auto& [device, inode, size, modified] = identity;
        return Statement(db, "INSERT OR REPLACE INTO lesson_hash(device, inode, size, modified, sha) VALUES(?, ?, ?, ?, ?)")
            .Bind(static_cast<std::int64_t>(device))
            .Bind(static_cast<std::int64_t>(inode))
            .Bind(size)
            .Bind(modified)
            .Bind(sha)
            .Run();
    });
}

void Store::AddUse(LocalDay day, Milliseconds used) {
    if (used <= Milliseconds{0}) return;
    impl_->Enqueue([day, used](sqlite3* db) {
        return Statement(db,
                         "INSERT INTO day_use(day, used_ms) VALUES(?, ?) "
                         "ON CONFLICT(day) DO UPDATE SET used_ms = used_ms + excluded.used_ms")
            .Bind(day)
            .Bind(used.count())
            .Run();
    });
}

void Store::AddLessonUse(LocalDay day, const Text& cacheName, Milliseconds shown, int chosen) {
    if (cacheName.empty() || (shown <= Milliseconds{0} && chosen <= 0)) return;
    impl_->Enqueue([day, cacheName, shown = std::max(shown, Milliseconds{0}), chosen = std::max(chosen, 0)](sqlite3* db) {
        return Statement(db,
                         "INSERT INTO lesson_use(day, cache_name, shown_ms, chosen) VALUES(?, ?, ?, ?) "
                         "ON CONFLICT(day, cache_name) DO UPDATE SET shown_ms = shown_ms + excluded.shown_ms, "
                         "chosen = chosen + excluded.chosen")
            .Bind(day)
            .Bind(cacheName)
            .Bind(shown.count())
            .Bind(chosen)
            .Run();
    });
}

std::vector<DayUse> Store::UseByDay(LocalDay first, LocalDay last) const {
    if (last < first) return {};
    first = std::max(first, last - kLongestRange + 1);
    return impl_->ReadNow([&](sqlite3* db) {
        std::vector<DayUse> days;
        for (LocalDay day = first; day <= last; ++day) days.push_back({day, Milliseconds{0}});
        Statement read(db, "SELECT day, used_ms FROM day_use WHERE day BETWEEN ? AND ?");
        read.Bind(first).Bind(last);
        while (read.Next()) days[static_cast<std::size_t>(read.Integer(0) - first)].used = Milliseconds{read.Integer(1)};
        return days;
    });
}

std::vector<LessonUse> Store::LessonsUsed(LocalDay first, LocalDay last) const {
    return impl_->ReadNow([&](sqlite3* db) {
        std::vector<LessonUse> lessons;
        Statement read(db,
                       "SELECT cache_name, SUM(shown_ms) AS shown, SUM(chosen) AS times FROM lesson_use "
                       "WHERE day BETWEEN ? AND ? GROUP BY cache_name ORDER BY shown DESC, times DESC, cache_name");
        read.Bind(first).Bind(last);
        while (read.Next())
            lessons.push_back({read.String(0), Milliseconds{read.Integer(1)}, static_cast<int>(read.Integer(2))});
        return lessons;
    });
}

std::vector<LessonLastUse> Store::LastUses() const {
    return impl_->ReadNow([](sqlite3* db) {
        std::vector<LessonLastUse> uses;
        Statement read(db, "SELECT cache_name, when_ms FROM last_play ORDER BY played DESC");
        while (read.Next()) uses.push_back({read.String(0), WallTime{read.Integer(1)}});
        return uses;
    });
}

void Store::DropUseBefore(LocalDay day) {
    impl_->Enqueue([day](sqlite3* db) {
        int result = SQLITE_OK;
        for (const char* sql : {"DELETE FROM day_use WHERE day < ?", "DELETE FROM lesson_use WHERE day < ?",
                                "DELETE FROM last_play WHERE day < ?"})
            if (result == SQLITE_OK) result = Statement(db, sql).Bind(day).Run();
        return result;
    });
}

void Store::ClearHistory() {
    impl_->Enqueue([](sqlite3* db) { return Execute(db, "DELETE FROM day_use; DELETE FROM lesson_use; DELETE FROM last_play"); });
}

void Store::NoteLessonPlayed(const Text& cacheName, WallTime when) {
    if (cacheName.empty()) return;
    impl_->Enqueue([cacheName, when](sqlite3* db) {
        // Played in order of noting, not by the clock's time: a clock set back, or two plays
        // within its resolution, must not reorder the recent row.
        return Statement(db, "INSERT OR REPLACE INTO last_play(cache_name, when_ms, day, played) "
                             "VALUES(?, ?, ?, (SELECT IFNULL(MAX(played), 0) + 1 FROM last_play))")
            .Bind(cacheName)
            .Bind(when.count())
            .Bind(LocalDayOf(when))
            .Run();
    });
}

std::vector<Text> Store::RecentLessons(std::size_t count) const {
    return impl_->ReadNow([&](sqlite3* db) {
        std::vector<Text> recent;
        Statement read(db, "SELECT cache_name FROM last_play ORDER BY played DESC LIMIT ?");
        read.Bind(static_cast<std::int64_t>(std::min<std::size_t>(count, INT32_MAX)));
        while (read.Next()) recent.push_back(read.String(0));
        return recent;
    });
}

std::set<Text> Store::Favourites() const {
    std::lock_guard lock(impl_->smallMutex);
    return impl_->favourites;
}

void Store::SetFavourite(const Text& cacheName, bool favourite) {
    if (cacheName.empty()) return;
    {
        std::lock_guard lock(impl_->smallMutex);
        if (favourite ? !impl_->favourites.insert(cacheName).second : impl_->favourites.erase(cacheName) == 0) return;
    }
    impl_->Enqueue([cacheName, favourite](sqlite3* db) {
        return Statement(db, favourite ? "INSERT OR IGNORE INTO favourite(cache_name) VALUES(?)"
                                       : "DELETE FROM favourite WHERE cache_name = ?")
            .Bind(cacheName)
            .Run();
    });
}

std::uint64_t Store::CatalogueFloor() const {
    std::lock_guard lock(impl_->smallMutex);
    return impl_->floor;
}

void Store::RaiseCatalogueFloor(std::uint64_t serial) {
    serial = std::min<std::uint64_t>(serial, INT64_MAX);  // what SQLite's integer holds
    {
        std::lock_guard lock(impl_->smallMutex);
        if (serial <= impl_->floor) return;
        impl_->floor = serial;
    }
    impl_->Enqueue([serial](sqlite3* db) {
        // MAX: a second copy of the program may have raised it further meanwhile.
        return Statement(db,
                         "INSERT INTO kept(key, value) VALUES('catalogue_floor', ?) "
                         "ON CONFLICT(key) DO UPDATE SET value = MAX(value, excluded.value)")
            .Bind(static_cast<std::int64_t>(serial))
            .Run();
    });
}

}  // namespace pw

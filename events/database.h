#pragma once
// A small RAII wrapper over one SQLite connection and its prepared statements: the connection
// closes with its object, a statement finalizes with its object, and every failure is a result
// with SQLite's own message rather than an exception. Not thread-safe: each thread that uses the
// event log's file opens its own connection (WAL mode lets a reader run beside the writer).
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vidora::events {

class Statement;

class Database {
  public:
    Database() = default;
    Database(Database&&) noexcept = default;
    Database& operator=(Database&&) noexcept = default;

    // Opens (or creates) the file. Empty on success, else SQLite's reason.
    std::string open(const std::filesystem::path& file);
    void close() { db_.reset(); }
    bool isOpen() const { return db_ != nullptr; }

    // Runs one or more statements without results. Empty on success, else the reason.
    std::string exec(std::string_view sql);
    // Prepares one statement; an unprepared statement (see Statement::ok) carries the reason.
    Statement prepare(std::string_view sql);

    // PRAGMA user_version.
    std::optional<int> userVersion();
    int64_t lastInsertId() const;
    int changes() const;
    std::string lastError() const;
    sqlite3* handle() const { return db_.get(); }

  private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

// One prepared statement. Bind by 1-based index, step, read columns by 0-based index; reset()
// makes it ready for the next row with new values.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3_stmt* stmt, std::string failure)
        : stmt_(stmt), failure_(std::move(failure)) {}

    bool ok() const { return stmt_ != nullptr; }
    const std::string& failure() const { return failure_; }

    Statement& bind(int index, int64_t value);
    Statement& bind(int index, std::string_view value);
    Statement& bindNull(int index);
    Statement& bind(int index, const std::optional<int64_t>& value);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Steps to the end; true when no step failed.
    bool run();
    void reset();

    int64_t integer(int column) const;
    std::optional<int64_t> optionalInteger(int column) const;
    std::string text(int column) const;

  private:
    struct Finalizer {
        void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
    std::string failure_;
};

// Runs `body` inside BEGIN IMMEDIATE ... COMMIT; a body that returns false, or a commit that
// fails, rolls back. Empty on success, else the reason.
template <typename Body>
std::string inTransaction(Database& db, Body&& body) {
    if (std::string failure = db.exec("BEGIN IMMEDIATE"); !failure.empty())
        return failure;
    if (!body()) {
        std::string reason = db.lastError();
        db.exec("ROLLBACK");
        return reason.empty() ? std::string("the transaction was given up") : reason;
    }
    if (std::string failure = db.exec("COMMIT"); !failure.empty()) {
        db.exec("ROLLBACK");
        return failure;
    }
    return {};
}

}  // namespace vidora::events

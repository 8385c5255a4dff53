#include "events/database.h"

namespace vidora::events {

std::string Database::open(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
        std::string reason = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        db_.reset();
        return reason;
    }
    // Another connection (the catalog's indexer, or a user's sqlite3) may hold the write lock
    // for a moment: wait for it rather than fail.
    sqlite3_busy_timeout(raw, 5000);
    sqlite3_extended_result_codes(raw, 1);
    return {};
}

std::string Database::exec(std::string_view sql) {
    if (!db_)
        return "the event log is not open";
    char* message = nullptr;
    const std::string text(sql);
    if (sqlite3_exec(db_.get(), text.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return {};
    std::string reason = message ? message : sqlite3_errmsg(db_.get());
    sqlite3_free(message);
    return reason;
}

Statement Database::prepare(std::string_view sql) {
    if (!db_)
        return Statement(nullptr, "the event log is not open");
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        return Statement(nullptr, sqlite3_errmsg(db_.get()));
    }
    return Statement(stmt, {});
}

std::optional<int> Database::userVersion() {
    Statement query = prepare("PRAGMA user_version");
    if (!query.ok() || query.step() != SQLITE_ROW)
        return std::nullopt;
    return static_cast<int>(query.integer(0));
}

int64_t Database::lastInsertId() const {
    return db_ ? sqlite3_last_insert_rowid(db_.get()) : 0;
}

int Database::changes() const {
    return db_ ? sqlite3_changes(db_.get()) : 0;
}

std::string Database::lastError() const {
    return db_ ? sqlite3_errmsg(db_.get()) : "the event log is not open";
}

Statement& Statement::bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_.get(), index, value);
    return *this;
}

Statement& Statement::bind(int index, std::string_view value) {
    sqlite3_bind_text(stmt_.get(), index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(stmt_.get(), index);
    return *this;
}

Statement& Statement::bind(int index, const std::optional<int64_t>& value) {
    return value ? bind(index, *value) : bindNull(index);
}

int Statement::step() {
    return stmt_ ? sqlite3_step(stmt_.get()) : SQLITE_MISUSE;
}

bool Statement::run() {
    int rc;
    while ((rc = step()) == SQLITE_ROW) {
    }
    const bool done = rc == SQLITE_DONE;
    reset();
    return done;
}

void Statement::reset() {
    if (!stmt_)
        return;
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

std::optional<int64_t> Statement::optionalInteger(int column) const {
    if (sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(stmt_.get(), column);
}

std::string Statement::text(int column) const {
    const unsigned char* value = sqlite3_column_text(stmt_.get(), column);
    return value ? reinterpret_cast<const char*>(value) : std::string();
}

}  // namespace vidora::events

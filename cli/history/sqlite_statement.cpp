#include "cli/history/sqlite_statement.h"

namespace kestrin::cli {
namespace {

[[noreturn]] void Throw(sqlite3* db) { throw HistoryError(sqlite3_errmsg(db)); }

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) != SQLITE_OK) {
    Throw(db);
  }
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::Bind(std::string_view text) {
  // An empty view may have no data pointer, which SQLite would bind as NULL.
  const char* data = text.data() != nullptr ? text.data() : "";
  if (sqlite3_bind_text(statement_, next_++, data, static_cast<int>(text.size()), SQLITE_STATIC) != SQLITE_OK) {
    Throw(db_);
  }
  return *this;
}

Statement& Statement::Bind(std::int64_t number) {
  if (sqlite3_bind_int64(statement_, next_++, number) != SQLITE_OK) Throw(db_);
  return *this;
}

bool Statement::Step() {
  const int status = sqlite3_step(statement_);
  if (status == SQLITE_ROW) return true;
  if (status == SQLITE_DONE) return false;
  Throw(db_);
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

std::string Statement::Text(int column) const { return std::string(TextView(column)); }

std::string_view Statement::TextView(int column) const {
  const auto* text = sqlite3_column_text(statement_, column);
  return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text),
                                            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                         : std::string_view();
}

std::int64_t Statement::Number(int column) const { return sqlite3_column_int64(statement_, column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

void Statement::Reset() {
  sqlite3_reset(statement_);
  next_ = 1;
}

void Execute(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    throw HistoryError(text);
  }
}

}  // namespace kestrin::cli

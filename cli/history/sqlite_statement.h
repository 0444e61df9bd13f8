// A thin owner of SQLite statements, so the history reads as SQL and not as handle juggling.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrin::cli {

// An SQLite call failed: the file is unreadable, locked past the wait, full or damaged.
class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A history to be read is not there.
class NoHistory : public HistoryError {
 public:
  using HistoryError::HistoryError;
};

class Statement {
 public:
  // Prepares `sql`; throws HistoryError when it cannot.
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds parameters 1, 2, … in order (after Reset, from 1 again; every one must be bound
  // again). The text is not copied: it must stay as it is until the statement is reset.
  Statement& Bind(std::string_view text);
  Statement& Bind(std::int64_t number);
  // Steps once: true while a row is there; throws HistoryError on failure.
  bool Step();
  // Steps to the end, for statements that return no rows.
  void Run();
  [[nodiscard]] std::string Text(int column) const;
  // The column's text without a copy, valid until the next Step or Reset.
  [[nodiscard]] std::string_view TextView(int column) const;
  [[nodiscard]] std::int64_t Number(int column) const;
  [[nodiscard]] bool IsNull(int column) const;
  // Ready to run again, with new bindings.
  void Reset();

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  int next_ = 1;
};

// Runs statements without results; throws HistoryError with SQLite's message.
void Execute(sqlite3* db, const char* sql);

}  // namespace kestrin::cli

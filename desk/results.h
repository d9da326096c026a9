// The results window's model, apart from any window: one row per file worked on, the order and
// filter the list shows them in, the counts for the status bar, and the texts of Copy and
// Export. The window asks it for rows by their place in the view.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_operations.h"
#include "output.h"

namespace korvale::desk {

using batch::PathForm;
using batch::Tally;

// The list's columns, in the order shown.
enum class Column { kName, kFolder, kResult, kStored, kComputed, kMessage };
inline constexpr std::size_t kColumnCount = 6;

std::string_view columnTitle(Column column);

// One file as last worked on. `operation` is that of its outcome (a stamp or reset that
// succeeded is followed by a check, so the row shows what the file holds now).
struct Row {
  std::string path;  // as walked: the folder as given, a separator, the name within it
  Operation operation = Operation::kCheck;
  Outcome outcome;
};

// The path's last part, and what comes before it without the separator ("" for a bare name).
std::string_view nameOf(std::string_view path, PathForm form);
std::string_view folderOf(std::string_view path, PathForm form);

// The text of one cell.
std::string cellText(const Row& row, Column column, PathForm form);

class ResultTable {
 public:
  explicit ResultTable(PathForm form) : form_(form) {}

  PathForm form() const { return form_; }
  void add(Row row);
  // Replaces the row stored at `index` (its place in input order, not in the view); the view
  // follows at refresh(), so that many rows replaced at once cost one sort.
  void replace(std::size_t index, Row row);
  void refresh() { rebuildView(); }
  const Row& stored(std::size_t index) const { return rows_[index]; }
  std::size_t storedCount() const { return rows_.size(); }

  // The rows shown, in the order shown.
  std::size_t viewCount() const { return view_.size(); }
  const Row& viewRow(std::size_t place) const { return rows_[view_[place]]; }
  std::size_t storedIndex(std::size_t place) const { return view_[place]; }

  // Sorts the view by `column`; rows that tie keep their input order.
  void sortBy(Column column, bool ascending);
  bool sorted() const { return sorted_; }  // false: input order
  Column sortColumn() const { return sortColumn_; }
  bool sortAscending() const { return ascending_; }
  // Shows only the rows whose code is not 0.
  void setProblemsOnly(bool on);
  bool problemsOnly() const { return problemsOnly_; }

  // Removes the rows at these places of the view.
  void removeViewRows(const std::vector<std::size_t>& places);

  // Rows per code over every row, shown or not; the last entry: any other code.
  std::array<std::size_t, Tally::kCodes.size() + 1> counts() const;

 private:
  void rebuildView();

  PathForm form_;
  std::vector<Row> rows_;
  std::vector<std::size_t> view_;
  Column sortColumn_ = Column::kName;
  bool ascending_ = true;
  bool sorted_ = false;  // false: input order
  bool problemsOnly_ = false;
};

// "N files: A stamp OK, B not stamped, ..." naming only the results that occur.
std::string statusText(const ResultTable& table);

// How many of `rows` hold a stamp (a stored CRC other than 0x00000000) that a reset would erase.
std::size_t stampsAmong(const std::vector<const Row*>& rows);

// How many of `rows` hold a stamp that differs from their content, which a stamp replaces.
std::size_t stampsDiffering(const std::vector<const Row*>& rows);

// Copy: a header line and a line per row, the columns separated by tabs, lines ending in CR LF.
std::string tabSeparated(const std::vector<const Row*>& rows, PathForm form);

// Export: the keys of korvale-batch --json (path, operation, code, crc, message, stored,
// computed), as CSV with a header line (RFC 4180 quoting, CR LF) or as its JSON Lines.
std::string csvText(const std::vector<const Row*>& rows);
std::string jsonLines(const std::vector<const Row*>& rows, PathForm form);

}  // namespace korvale::desk

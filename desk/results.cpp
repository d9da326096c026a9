#include "results.h"

#include <algorithm>
#include <compare>

namespace korvale::desk {
namespace {

using batch::appendJsonLine;
using batch::operationName;

bool isSeparator(char c, PathForm form) {
  return c == '/' || (c == '\\' && form == PathForm::kWtf8);
}

std::size_t lastSeparator(std::string_view path, PathForm form) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isSeparator(path[i - 1], form)) return i - 1;
  }
  return std::string_view::npos;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names as people read them: letters of either case together, then byte order, so that
// the order is total and the same on every system.
std::weak_ordering compareText(std::string_view a, std::string_view b) {
  const auto folded = std::lexicographical_compare_three_way(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lower(x)) <=> static_cast<unsigned char>(lower(y));
      });
  if (folded != 0) return folded;
  return a.compare(b) <=> 0;
}

// The place of a code in the summary's order, which is also the Result column's order.
std::size_t codeIndex(int32_t code) {
  const auto at = std::find(Tally::kCodes.begin(), Tally::kCodes.end(), code);
  return static_cast<std::size_t>(at - Tally::kCodes.begin());
}

std::weak_ordering compareRows(const Row& a, const Row& b, Column column, PathForm form) {
  switch (column) {
    case Column::kName:
      if (auto c = compareText(nameOf(a.path, form), nameOf(b.path, form)); c != 0) return c;
      return compareText(folderOf(a.path, form), folderOf(b.path, form));
    case Column::kFolder:
      if (auto c = compareText(folderOf(a.path, form), folderOf(b.path, form)); c != 0) return c;
      return compareText(nameOf(a.path, form), nameOf(b.path, form));
    case Column::kResult:
      return codeIndex(a.outcome.code) <=> codeIndex(b.outcome.code);
    case Column::kStored:
      return compareText(a.outcome.stored, b.outcome.stored);
    case Column::kComputed:
      return compareText(a.outcome.computed, b.outcome.computed);
    case Column::kMessage:
      return a.outcome.code <=> b.outcome.code;
  }
  return std::weak_ordering::equivalent;
}

void appendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string_view columnTitle(Column column) {
  constexpr std::array<std::string_view, kColumnCount> kTitles = {
      "Name", "Folder", "Result", "Stored CRC", "Computed CRC", "Message"};
  return kTitles[static_cast<std::size_t>(column)];
}

std::string_view resultWord(int32_t code) {
  switch (code) {
    case kOk:
      return "stamp OK";
    case kCrcEmpty:
      return "not stamped";
    case kCrcDifferent:
      return "stamp differs";
    case kNoIdentifier:
      return "no CRC field";
    case kFieldUnreadable:
    case kFieldUnwritable:
      return "malformed CRC field";
    case kCannotOpen:
      return "cannot open";
    case kTooShort:
      return "too short";
  }
  return "unknown";
}

std::string_view nameOf(std::string_view path, PathForm form) {
  const std::size_t at = lastSeparator(path, form);
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view folderOf(std::string_view path, PathForm form) {
  const std::size_t at = lastSeparator(path, form);
  if (at == std::string_view::npos) return {};
  // A root keeps its separator: "/" and "C:\" name a folder, "" and "C:" would not.
  const bool root = at == 0 || (form == PathForm::kWtf8 && at == 2 && path[1] == ':');
  return path.substr(0, root ? at + 1 : at);
}

std::string cellText(const Row& row, Column column, PathForm form) {
  switch (column) {
    case Column::kName:
      return std::string(nameOf(row.path, form));
    case Column::kFolder:
      return std::string(folderOf(row.path, form));
    case Column::kResult:
      return std::string(resultWord(row.outcome.code));
    case Column::kStored:
      return row.outcome.stored;
    case Column::kComputed:
      return row.outcome.computed;
    case Column::kMessage:
      return std::string(errorText(row.outcome.code));
  }
  return {};
}

void ResultTable::add(Row row) {
  rows_.push_back(std::move(row));
  const std::size_t index = rows_.size() - 1;
  if (problemsOnly_ && rows_[index].outcome.code == kOk) return;
  if (!sorted_) {
    view_.push_back(index);
    return;
  }
  // Into its sorted place, after the rows it ties with (they came in before it).
  const auto at =
      std::upper_bound(view_.begin(), view_.end(), index, [&](std::size_t a, std::size_t b) {
        const auto c = compareRows(rows_[a], rows_[b], sortColumn_, form_);
        return ascending_ ? c < 0 : c > 0;
      });
  view_.insert(at, index);
}

void ResultTable::replace(std::size_t index, Row row) { rows_[index] = std::move(row); }

void ResultTable::sortBy(Column column, bool ascending) {
  sortColumn_ = column;
  ascending_ = ascending;
  sorted_ = true;
  rebuildView();
}

void ResultTable::setProblemsOnly(bool on) {
  problemsOnly_ = on;
  rebuildView();
}

void ResultTable::removeViewRows(const std::vector<std::size_t>& places) {
  std::vector<bool> gone(rows_.size());
  for (const std::size_t place : places) gone[view_[place]] = true;
  std::vector<Row> kept;
  kept.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!gone[i]) kept.push_back(std::move(rows_[i]));
  }
  rows_ = std::move(kept);
  rebuildView();
}

std::array<std::size_t, Tally::kCodes.size() + 1> ResultTable::counts() const {
  std::array<std::size_t, Tally::kCodes.size() + 1> counts{};
  for (const Row& row : rows_) ++counts[codeIndex(row.outcome.code)];
  return counts;
}

void ResultTable::rebuildView() {
  view_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!problemsOnly_ || rows_[i].outcome.code != kOk) view_.push_back(i);
  }
  if (!sorted_) return;
  std::stable_sort(view_.begin(), view_.end(), [&](std::size_t a, std::size_t b) {
    const auto c = compareRows(rows_[a], rows_[b], sortColumn_, form_);
    return ascending_ ? c < 0 : c > 0;
  });
}

std::string statusText(const ResultTable& table) {
  const std::size_t total = table.storedCount();
  std::string text = std::to_string(total) + (total == 1 ? " file" : " files");
  const auto counts = table.counts();
  std::string_view separator = ": ";
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    // Codes 12 and 13 share a word: their counts are one.
    if (i > 0 && i < Tally::kCodes.size() &&
        resultWord(Tally::kCodes[i]) == resultWord(Tally::kCodes[i - 1])) {
      continue;
    }
    std::size_t count = counts[i];
    if (i + 1 < Tally::kCodes.size() &&
        resultWord(Tally::kCodes[i]) == resultWord(Tally::kCodes[i + 1])) {
      count += counts[i + 1];
    }
    text += separator;
    text += std::to_string(count) + " " +
            std::string(i < Tally::kCodes.size() ? resultWord(Tally::kCodes[i]) : "unknown");
    separator = ", ";
  }
  return text;
}

std::size_t stampsAmong(const std::vector<const Row*>& rows) {
  return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const Row* row) {
    return !row->outcome.stored.empty() && row->outcome.stored != kFailSafeCRC32;
  }));
}

std::size_t stampsDiffering(const std::vector<const Row*>& rows) {
  return static_cast<std::size_t>(std::count_if(
      rows.begin(), rows.end(), [](const Row* row) { return row->outcome.code == kCrcDifferent; }));
}

std::string tabSeparated(const std::vector<const Row*>& rows, PathForm form) {
  std::string text;
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    if (c > 0) text += '\t';
    text += columnTitle(static_cast<Column>(c));
  }
  text += "\r\n";
  for (const Row* row : rows) {
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      if (c > 0) text += '\t';
      text += cellText(*row, static_cast<Column>(c), form);
    }
    text += "\r\n";
  }
  return text;
}

std::string csvText(const std::vector<const Row*>& rows) {
  std::string text = "path,operation,code,crc,message,stored,computed\r\n";
  for (const Row* row : rows) {
    appendCsvField(text, row->path);
    text += ',';
    text += operationName(row->operation);
    text += ',' + std::to_string(row->outcome.code) + ',';
    appendCsvField(text, row->outcome.crcText);
    text += ',';
    appendCsvField(text, errorText(row->outcome.code));
    text += ',';
    appendCsvField(text, row->outcome.stored);
    text += ',';
    appendCsvField(text, row->outcome.computed);
    text += "\r\n";
  }
  return text;
}

std::string jsonLines(const std::vector<const Row*>& rows, PathForm form) {
  std::string text;
  for (const Row* row : rows) appendJsonLine(text, row->path, row->operation, row->outcome, form);
  return text;
}

}  // namespace korvale::desk

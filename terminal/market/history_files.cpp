#include "terminal/market/history_files.h"

#include <algorithm>
#include <new>

#include "src/link/os/os.h"
#include "src/wire/text.h"
#include "terminal/market/history_csv.h"

namespace vl5::terminal::market {

namespace {

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  return folder + os::kPathSeparator + name;
}

std::string Text(const std::u16string& path) { return wire::Utf16ToUtf8(path); }

bool CheckFolder(const std::u16string& folder, std::string* error) {
  if (os::FolderIsPrivate(folder)) return true;
  *error = Text(folder) + " is not a folder of this user alone (missing, a link, another user's, or writable by "
                          "others)";
  return false;
}

// Reads one file into `records`; a missing file is a problem only when
// `required`.
template <typename Record>
bool ReadFile(const SymbolSpec& spec, const std::u16string& path, bool required, std::vector<Record>* records,
              std::string* error) {
  HistoryCsv<Record> csv(spec);
  const os::FileRead result =
      os::StreamRegularFile(path, [&](const char* data, std::size_t size) { return csv.Feed({data, size}); });
  switch (result) {
    case os::FileRead::kRead:
      break;
    case os::FileRead::kMissing:
      if (!required) return true;
      *error = Text(path) + " is missing";
      return false;
    case os::FileRead::kNotRegular:
      *error = Text(path) + " is not a regular file";
      return false;
    case os::FileRead::kForeign:
      *error = Text(path) + " belongs to another user or is writable by others";
      return false;
    default:
      *error = Text(path) + " could not be read";
      return false;
  }
  if (!csv.Finish()) {
    *error = Text(path) + " " + csv.error();
    return false;
  }
  if (required && csv.records().empty()) {
    *error = Text(path) + " holds no bars";
    return false;
  }
  // Growth left up to half the capacity unused; a history is held once, exactly.
  csv.records().shrink_to_fit();
  *records = std::move(csv.records());
  return true;
}

bool LoadOne(const SymbolSpec& spec, const std::u16string& folder, History* history, std::string* error) {
  const std::u16string symbol_folder = Join(folder, spec.name);
  return CheckFolder(symbol_folder, error) &&
         ReadFile(spec, Join(symbol_folder, kHistoryBarsFile), true, &history->minutes, error) &&
         ReadFile(spec, Join(symbol_folder, kHistoryTicksFile), false, &history->ticks, error);
}

}  // namespace

bool LoadHistories(const std::vector<SymbolSpec>& specs, const std::vector<std::u16string>& symbols,
                   const std::u16string& folder, Histories* out, std::string* error) {
  out->clear();
  if (symbols.empty()) return true;
  if (!CheckFolder(folder, error)) return false;
  for (const std::u16string& name : symbols) {
    const auto spec = std::find_if(specs.begin(), specs.end(), [&](const SymbolSpec& s) { return s.name == name; });
    if (spec == specs.end()) {
      *error = "no symbol " + Text(name) + " to load a history for";
      out->clear();
      return false;
    }
    try {
      auto history = std::make_shared<History>();
      if (!LoadOne(*spec, folder, history.get(), error)) {
        out->clear();
        return false;
      }
      (*out)[name] = std::move(history);
    } catch (const std::bad_alloc&) {
      *error = "not enough memory for the history of " + Text(name);
      out->clear();
      return false;
    }
  }
  return true;
}

}  // namespace vl5::terminal::market

#include "terminal/model/market/history_files.h"

#include <algorithm>
#include <new>

#include "src/link/os/os.h"
#include "src/wire/text.h"
#include "terminal/base/trusted_files.h"
#include "terminal/model/market/history_csv.h"

namespace vl5::terminal::market {

namespace {

// Reads one file into `records`; a missing file is a problem only when
// `required`.
template <typename Record>
bool ReadFile(const SymbolSpec& spec, std::int32_t timeframe, const std::u16string& path, bool required,
              std::vector<Record>* records, std::string* error) {
  HistoryCsv<Record> csv(spec, timeframe);
  const os::FileRead result = os::StreamRegularFile(path, [&](const char* data, std::size_t size) {
    return csv.Feed({data, size});
  });
  if (result == os::FileRead::kMissing && !required) return true;
  if (result != os::FileRead::kRead) {
    *error = ReadProblem(result, path);
    return false;
  }
  if (!csv.Finish()) {
    *error = PathText(path) + " " + csv.error();
    return false;
  }
  if (required && csv.records().empty()) {
    *error = PathText(path) + " holds no bars";
    return false;
  }
  // Growth left up to half the capacity unused; a history is held once, exactly.
  csv.records().shrink_to_fit();
  *records = std::move(csv.records());
  return true;
}

// The one bar file of a symbol's folder: two would say different things
// about the same periods.
bool FindBarsFile(const std::u16string& symbol_folder, const HistoryBarsFile** found, std::string* error) {
  *found = nullptr;
  for (const HistoryBarsFile& file : kHistoryBarsFiles) {
    if (!os::Exists(JoinPath(symbol_folder, file.name))) continue;
    if (*found != nullptr) {
      *error = PathText(symbol_folder) + " holds both " + wire::Utf16ToUtf8((*found)->name) + " and " +
               wire::Utf16ToUtf8(file.name) + ": keep the bars of one size";
      return false;
    }
    *found = &file;
  }
  // None: the minute bars are required, and their absence is named.
  if (*found == nullptr) *found = &kHistoryBarsFiles[0];
  return true;
}

bool LoadOne(const SymbolSpec& spec, const std::u16string& folder, History* history, std::string* error) {
  const std::u16string symbol_folder = JoinPath(folder, spec.name);
  const HistoryBarsFile* bars = nullptr;
  if (!CheckPrivateFolder(symbol_folder, error) || !FindBarsFile(symbol_folder, &bars, error)) return false;
  history->timeframe = bars->timeframe;
  const std::u16string ticks = JoinPath(symbol_folder, kHistoryTicksFile);
  // Ticks beside longer bars would make their own shorter bars, unlike the bars' paths.
  if (bars->timeframe != 1 && os::Exists(ticks)) {
    *error = PathText(ticks) + " goes only with M1.csv, not " + wire::Utf16ToUtf8(bars->name);
    return false;
  }
  return ReadFile(spec, bars->timeframe, JoinPath(symbol_folder, bars->name), true, &history->bars, error) &&
         ReadFile(spec, 1, ticks, false, &history->ticks, error);
}

}  // namespace

bool LoadHistories(const std::vector<SymbolSpec>& specs, const std::vector<std::u16string>& symbols,
                   const std::u16string& folder, Histories* out, std::string* error) {
  out->clear();
  if (symbols.empty()) return true;
  if (!CheckPrivateFolder(folder, error)) return false;
  for (const std::u16string& name : symbols) {
    const auto spec = std::find_if(specs.begin(), specs.end(), [&](const SymbolSpec& s) { return s.name == name; });
    if (spec == specs.end()) {
      *error = "no symbol " + wire::Utf16ToUtf8(name) + " to load a history for";
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
      *error = "not enough memory for the history of " + PathText(name);
      out->clear();
      return false;
    }
  }
  return true;
}

}  // namespace vl5::terminal::market

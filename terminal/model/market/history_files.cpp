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
bool ReadFile(const SymbolSpec& spec, const std::u16string& path, bool required, std::vector<Record>* records,
              std::string* error) {
  HistoryCsv<Record> csv(spec);
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

bool LoadOne(const SymbolSpec& spec, const std::u16string& folder, History* history, std::string* error) {
  const std::u16string symbol_folder = JoinPath(folder, spec.name);
  return CheckPrivateFolder(symbol_folder, error) &&
         ReadFile(spec, JoinPath(symbol_folder, kHistoryBarsFile), true, &history->minutes, error) &&
         ReadFile(spec, JoinPath(symbol_folder, kHistoryTicksFile), false, &history->ticks, error);
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

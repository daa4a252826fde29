#include "terminal/model/market/day_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "src/link/os/os.h"
#include "terminal/base/calendar.h"
#include "src/wire/text.h"

namespace vl5::terminal::market {

namespace {

constexpr std::uint64_t kMagic = 0x0153594144354C56ULL;  // "VL5DAYS\1"
constexpr std::size_t kHeaderSize = 32;                  // magic, fingerprint, first day, count
constexpr std::size_t kRecordSize = 60;                  // time, o, h, l, c, tick volume, spread, real volume
constexpr std::uint64_t kMaxDays = 200000;               // over five centuries

template <typename T>
void Put(std::string* out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out->append(bytes, sizeof(T));
}

template <typename T>
T Get(const std::string& in, std::size_t* at) {
  T value;
  std::memcpy(&value, in.data() + *at, sizeof(T));
  *at += sizeof(T);
  return value;
}

// An unknown day is all zero; a known one opens at its midnight, and holds
// either nothing (no trading that day) or ticks with prices inside its range.
bool WellFormed(const Bar& bar, std::int64_t day) {
  if (bar.time == 0) return bar.tick_volume == 0;
  if (bar.time != day * 86400) return false;
  if (bar.tick_volume == 0) {
    return bar.open == 0 && bar.high == 0 && bar.low == 0 && bar.close == 0 && bar.spread == 0 && bar.real_volume == 0;
  }
  return bar.low > 0 && bar.low <= std::min(bar.open, bar.close) && bar.high >= std::max(bar.open, bar.close) &&
         bar.spread >= 0;
}

}  // namespace

std::string EncodeDays(const PricePath& path, std::int64_t first_day, const std::vector<Bar>& bars) {
  std::string out;
  out.reserve(kHeaderSize + kRecordSize * bars.size());
  Put(&out, kMagic);
  Put(&out, path.Fingerprint());
  Put(&out, first_day);
  Put(&out, static_cast<std::uint64_t>(bars.size()));
  for (const Bar& bar : bars) {
    const bool known = bar.time != 0;
    Put(&out, known ? bar.time : std::int64_t{0});
    for (std::int64_t price : {bar.open, bar.high, bar.low, bar.close}) Put(&out, known ? price : std::int64_t{0});
    Put(&out, known ? bar.tick_volume : std::uint64_t{0});
    Put(&out, known ? bar.spread : std::int32_t{0});
    Put(&out, known ? bar.real_volume : std::uint64_t{0});
  }
  return out;
}

bool DecodeDays(const std::string& bytes, const PricePath& path, std::int64_t first_day, std::vector<Bar>* bars) {
  if (bytes.size() < kHeaderSize) return false;
  std::size_t at = 0;
  const auto magic = Get<std::uint64_t>(bytes, &at);
  const auto fingerprint = Get<std::uint64_t>(bytes, &at);
  const auto first = Get<std::int64_t>(bytes, &at);
  const auto count = Get<std::uint64_t>(bytes, &at);
  if (magic != kMagic || fingerprint != path.Fingerprint() || first != first_day || count > kMaxDays ||
      bytes.size() != kHeaderSize + kRecordSize * count) {
    return false;
  }
  std::vector<Bar> read(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < read.size(); ++i) {
    Bar& bar = read[i];
    bar.time = Get<std::int64_t>(bytes, &at);
    bar.open = Get<std::int64_t>(bytes, &at);
    bar.high = Get<std::int64_t>(bytes, &at);
    bar.low = Get<std::int64_t>(bytes, &at);
    bar.close = Get<std::int64_t>(bytes, &at);
    bar.tick_volume = Get<std::uint64_t>(bytes, &at);
    bar.spread = Get<std::int32_t>(bytes, &at);
    bar.real_volume = Get<std::uint64_t>(bytes, &at);
    if (!WellFormed(bar, first_day + static_cast<std::int64_t>(i))) return false;
  }
  *bars = std::move(read);
  return true;
}

DayStore::DayStore(const std::u16string& cache_folder)
    : folder_(cache_folder.empty() ? std::u16string() : cache_folder + os::kPathSeparator + u"days") {}

std::u16string DayStore::File(const PricePath& path) const {
  const std::u16string& name = path.spec().name;
  // Only names that cannot leave the folder or mean anything else to it.
  const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
  });
  if (folder_.empty() || !plain) return {};
  char fingerprint[17];
  std::snprintf(fingerprint, sizeof(fingerprint), "%016llx", static_cast<unsigned long long>(path.Fingerprint()));
  return folder_ + os::kPathSeparator + name + u"-" + wire::Utf8ToUtf16(fingerprint) + u".days";
}

bool DayStore::Load(const PricePath& path, DayCache* days) const {
  const std::u16string file = File(path);
  if (file.empty() || !os::FolderIsPrivate(Parent()) || !os::FolderIsPrivate(folder_)) return false;
  // In pieces, so that the bound (centuries of days) costs nothing when the
  // file holds a few decades.
  std::string bytes;
  bool too_large = false;
  const os::FileRead read = os::StreamRegularFile(file, [&](const char* data, std::size_t size) {
    too_large = bytes.size() + size > kHeaderSize + kRecordSize * kMaxDays;
    if (!too_large) bytes.append(data, size);
    return !too_large;
  });
  if (read != os::FileRead::kRead || too_large) return false;
  const std::int64_t first_day = FloorDiv(path.first_minute(), 1440);
  std::vector<Bar> bars;
  if (!DecodeDays(bytes, path, first_day, &bars)) return false;
  days->AddKnownDays(path, first_day, bars);
  return true;
}

bool DayStore::Save(const PricePath& path, DayCache* days) const {
  const std::u16string file = File(path);
  std::uint32_t error = 0;
  if (file.empty() || !os::MakeFolders(folder_, &error) || !os::FolderIsPrivate(Parent()) ||
      !os::FolderIsPrivate(folder_)) {
    return false;
  }
  Load(path, days);
  std::int64_t first_day = 0;
  const std::vector<Bar> bars = days->KnownDays(path, &first_day);
  return os::ReplaceFileBytes(file, EncodeDays(path, first_day, bars), &error);
}

std::u16string DayStore::Parent() const { return folder_.substr(0, folder_.rfind(os::kPathSeparator)); }

std::u16string CacheFolderOf(const std::string& setting) {
  if (setting == "none") return {};
  if (!setting.empty()) return wire::Utf8ToUtf16(setting);
  std::u16string folder;
  return os::UserCacheFolder(&folder) ? folder : std::u16string();
}

void KeepDays(const Market& market, const std::shared_ptr<const DayStore>& store) {
  for (std::size_t i = 0; i < market.size(); ++i) {
    if (market.path(i).source().KeepsDays()) market.days(i)->KeepIn(store);
  }
}

void SaveKeptDays(const Market& market) {
  for (std::size_t i = 0; i < market.size(); ++i) market.days(i)->SaveComputed(market.path(i), true);
}

}  // namespace vl5::terminal::market

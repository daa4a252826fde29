#include "terminal/server/embedded_terminal.h"

#include <chrono>
#include <utility>

#include "terminal/model/market/day_store.h"
#include "terminal/model/market/history_files.h"
#include "terminal/server/data_folder.h"
#include "terminal/server/settings_table.h"
#include "src/link/os/os.h"
#include "src/wire/text.h"

namespace vl5::terminal::server {

namespace {

EmbeddedTerminal* Of(void* peer) { return static_cast<EmbeddedTerminal*>(peer); }

// What only a program has: a help text, a registration, a data folder.
bool RefuseProgramOptions(const CommandLine& command, std::string* error) {
  if (command.help || command.register_only || command.portable || !command.data_dir.empty()) {
    *error = "--help, --register, --portable and --data-dir are options of the program, not of an embedded engine";
    return false;
  }
  return true;
}

bool CheckEngineSettings(const Settings& settings, std::string* error) {
  if (!settings.stepped) {
    *error = "an embedded engine runs on a stepped clock: give stepped=1 and a clock";
    return false;
  }
  if (!settings.history.empty() && settings.history_dir.empty()) {
    *error = "an embedded engine has no data folder: a history needs history_dir";
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<EmbeddedTerminal> EmbeddedTerminal::Create(const std::vector<std::string>& args,
                                                           std::string_view ini_text, const std::u16string& folder,
                                                           std::string* error) {
  CommandLine command;
  Settings settings;
  if (!ParseCommandLine(args, &command, error) || !RefuseProgramOptions(command, error) ||
      !LoadSettings(command, ini_text, &settings, error) || !CheckEngineSettings(settings, error)) {
    return nullptr;
  }
  market::Histories histories;
  std::vector<market::SymbolSpec> symbols;
  if (!ConfiguredSymbols(settings, &symbols, error) ||
      !market::LoadHistories(symbols, settings.history, wire::Utf8ToUtf16(settings.history_dir), &histories, error)) {
    *error = "history not loaded: " + *error;
    return nullptr;
  }
  Folders folders{folder, folder, {}};
  CommonDataFolder(&folders.common);
  const std::string cache_dir = settings.cache_dir;
  auto terminal = std::make_unique<Terminal>(std::move(settings), folders, histories);
  histories.clear();
  market::KeepDays(terminal->market(), std::make_shared<market::DayStore>(market::CacheFolderOf(cache_dir)));
  return std::unique_ptr<EmbeddedTerminal>(new EmbeddedTerminal(std::move(terminal)));
}

EmbeddedTerminal::EmbeddedTerminal(std::unique_ptr<Terminal> terminal)
    : terminal_(std::move(terminal)),
      link_(*terminal_),
      control_(*terminal_),
      carrier_{this,
               [](void* peer) {
                 if (!Of(peer)->OwnedByThisProcess()) return false;
                 Of(peer)->link().Reset();
                 return true;
               },
               [](void* peer) { Of(peer)->link().Reset(); },
               [](void* peer, const void* bytes, std::size_t n) {
                 return Of(peer)->Write(Of(peer)->link(), static_cast<const std::uint8_t*>(bytes), n);
               },
               [](void* peer, void* bytes, std::size_t n) {
                 return Of(peer)->link().Read(static_cast<std::uint8_t*>(bytes), n);
               }},
      fork_generation_(os::ForkGeneration()) {}

EmbeddedTerminal::~EmbeddedTerminal() {
  if (!OwnedByThisProcess()) return;
  try {
    market::SaveKeptDays(terminal_->market());
  } catch (...) {  // days not kept are computed again by the next terminal
  }
}

// Asked at every request: a counter, not a system call.
bool EmbeddedTerminal::OwnedByThisProcess() const { return os::ForkGeneration() == fork_generation_; }

bool EmbeddedTerminal::Write(InProcessConnection& connection, const std::uint8_t* bytes, std::size_t n) noexcept {
  if (!OwnedByThisProcess()) return false;
  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  try {
    ok = connection.Write(bytes, n);
  } catch (...) {  // out of memory around a request: the carrier is a C boundary, nothing crosses it
    connection.Drop();
  }
  busy_ns_ += static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
  ++writes_;
  return ok;
}

}  // namespace vl5::terminal::server

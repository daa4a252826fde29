// terminal64: the simulated trading terminal. Registers its data folder,
// serves its pipe until it is told to stop or has been idle for too long.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "terminal/model/clock.h"
#include "terminal/model/terminal.h"
#include "terminal/base/trusted_files.h"
#include "terminal/model/market/day_store.h"
#include "terminal/model/market/history_files.h"
#include "src/link/os/os.h"
#include "terminal/server/server.h"
#include "terminal/server/data_folder.h"
#include "terminal/server/fault_hook.h"
#include "terminal/server/thread_guard.h"
#include "terminal/server/settings_table.h"
#include "src/wire/text.h"

namespace {

using namespace vl5::terminal;

constexpr int kExitUsage = 2;
constexpr std::uint32_t kPollMs = 50;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }

std::string Narrow(const std::u16string& text) { return vl5::wire::Utf16ToUtf8(text); }

// The command line wins over the file, so its settings are applied last;
// they are checked first, before anything is written to disk.
bool CheckCommandLine(const CommandLine& command, std::string* error) {
  Settings scratch;
  for (const auto& [key, value] : command.settings) {
    if (!ApplySetting(&scratch, key, value, error)) return false;
  }
  return true;
}

// Every loaded history is read whole before the terminal is announced.
bool LoadHistories(const Settings& settings, const Folders& folders, market::Histories* histories, std::string* error) {
  const std::u16string folder =
      settings.history_dir.empty() ? JoinPath(folders.data, u"history") : vl5::wire::Utf8ToUtf16(settings.history_dir);
  std::vector<market::SymbolSpec> symbols;
  return ConfiguredSymbols(settings, &symbols, error) &&
         market::LoadHistories(symbols, settings.history, folder, histories, error);
}

bool ResolveFolders(const CommandLine& command, const Installation& installation, Folders* folders,
                    std::string* error) {
  folders->install = installation.folder;
  if (!command.data_dir.empty()) {
    folders->data = vl5::wire::Utf8ToUtf16(command.data_dir);
  } else if (!DefaultDataFolder(installation, &folders->data, error)) {
    return false;
  }
  CommonDataFolder(&folders->common);
  return true;
}

// Serves until a signal arrives, no client has been connected for the idle
// time, or no client can come any more. Returns whether clients are still
// connected at the end.
bool Serve(server::Server& server, std::uint32_t idle_exit_seconds) {
  const std::int64_t idle_limit_ms = std::int64_t{idle_exit_seconds} * 1000;
  while (g_stop == 0 && !server.AcceptFailed()) {
    vl5::os::SleepMs(kPollMs);
    server.ActiveClients();  // reaps finished client threads
    if (idle_limit_ms > 0 && server.IdleMs() >= idle_limit_ms) break;
  }
  server.Stop();
  return server.ActiveClients() > 0;
}

int Run(int argc, char** argv) {
  CommandLine command;
  std::string error;
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &command, &error) ||
      !CheckCommandLine(command, &error)) {
    std::fprintf(stderr, "terminal64: %s\n%s", error.c_str(), Usage().c_str());
    return kExitUsage;
  }
  if (command.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }

  server::ArmFaultFromEnvironment();
  Installation installation;
  Folders folders;
  std::string ini_text;
  if (!DescribeInstallation(&installation, &error) || !ResolveFolders(command, installation, &folders, &error) ||
      !ReadSettingsFile(folders.data, &ini_text, &error)) {
    std::fprintf(stderr, "terminal64: %s\n", error.c_str());
    return 1;
  }
  Settings settings;
  if (!LoadSettings(command, ini_text, &settings, &error)) {
    std::fprintf(stderr, "terminal64: %s\n", error.c_str());
    return 1;
  }
  market::Histories histories;
  if (!command.register_only && !LoadHistories(settings, folders, &histories, &error)) {
    std::fprintf(stderr, "terminal64: history not loaded: %s\n", error.c_str());
    return 1;
  }
  if (!Register(folders.data, installation, command.portable, &error)) {
    std::fprintf(stderr, "terminal64: registration failed: %s\n", error.c_str());
    if (command.register_only) return 1;
  }
  if (command.register_only) {
    std::printf("registered %s in %s\n", Narrow(installation.folder).c_str(), Narrow(folders.data).c_str());
    return 0;
  }

  // Before the pipe is announced, so that a stop request can never find the
  // default handler and kill the terminal without its clean-up.
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  Terminal terminal(std::move(settings), folders, histories);
  histories.clear();  // the market holds them now
  // Daily bars are computed when requests need them and kept for the next
  // terminals of this user; nothing runs in the background.
  market::KeepDays(terminal.market(),
                   std::make_shared<market::DayStore>(market::CacheFolderOf(terminal.settings().cache_dir)));
  auto server = std::make_unique<server::Server>(terminal, installation.pipe_address);
  std::uint32_t listen_error = 0;
  if (!server->Start(&listen_error)) {
    // Most often another instance of this installation already serves it.
    std::fprintf(stderr, "terminal64: cannot serve %s (error %u)\n", Narrow(installation.pipe_address).c_str(),
                 listen_error);
    return 1;
  }
  std::printf("terminal64: build %u serving %s\n", terminal.settings().build,
              Narrow(installation.pipe_address).c_str());
  std::fflush(stdout);
  const bool clients_left = Serve(*server, terminal.settings().idle_exit);
  const int status = server->AcceptFailed() ? 1 : 0;
  // What requests computed since the last save; a request still running
  // saves its own share.
  server::RunReported("saving daily bars", [&] { market::SaveKeptDays(terminal.market()); });
  if (clients_left) {
    // Client threads are blocked on their pipes and cannot be woken through
    // the platform layer; the endpoint is already gone, so end here.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  server.reset();
  return status;
}

}  // namespace

// The main thread's own boundary: an exception is reported, never std::terminate.
int main(int argc, char** argv) {
  int status = 1;
  vl5::terminal::server::RunReported("main", [&] { status = Run(argc, argv); });
  return status;
}

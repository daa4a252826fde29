// The terminal as an engine inside another program's process (the Python
// package's velmora5._engine): the program's settings, market, trading and
// request code on a stepped clock, without a pipe, threads or a data folder.
// Requests arrive through in-process connections: the link a client module
// reaches through the carrier (src/link/carrier.h), and a control connection
// of the stepped-clock helpers.
//
// Not thread-safe: its owner serialises every call. It belongs to the process
// that made it: after a fork the carrier refuses the child, whose copy of
// the memory is not a terminal anybody else sees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/model/terminal.h"
#include "terminal/server/in_process_connection.h"
#include "src/link/carrier.h"

namespace vl5::terminal::server {

class EmbeddedTerminal {
 public:
  // `args`: settings as on the program's command line ("--seed", "7", ...);
  // `ini_text`: a terminal.ini (settings, accounts, symbols), checked as the
  // program checks its own; `folder`: the installation and data folder the
  // terminal reports. Null with the program's message for settings it would
  // refuse, and for what an engine cannot be: a clock that is not stepped,
  // the program's own options, or a history without history_dir.
  static std::unique_ptr<EmbeddedTerminal> Create(const std::vector<std::string>& args, std::string_view ini_text,
                                                  const std::u16string& folder, std::string* error);
  // Keeps the daily bars computed for the next terminals, as the program does.
  ~EmbeddedTerminal();
  EmbeddedTerminal(const EmbeddedTerminal&) = delete;
  EmbeddedTerminal& operator=(const EmbeddedTerminal&) = delete;

  // The module's way in: open, close, write and read on link().
  const link::Carrier* carrier() const { return &carrier_; }
  InProcessConnection& link() { return link_; }
  InProcessConnection& control() { return control_; }

  // Writes a request into `connection` (one of this terminal's), timing the
  // serving. False when refused: a dropped connection (also one dropped
  // because memory ran out around a request) or another process.
  bool Write(InProcessConnection& connection, const std::uint8_t* bytes, std::size_t n) noexcept;
  bool OwnedByThisProcess() const;
  // Wall time spent serving requests, in nanoseconds, and their writes.
  std::uint64_t busy_ns() const { return busy_ns_; }
  std::uint64_t writes() const { return writes_; }

 private:
  explicit EmbeddedTerminal(std::unique_ptr<Terminal> terminal);

  std::unique_ptr<Terminal> terminal_;
  InProcessConnection link_;
  InProcessConnection control_;
  link::Carrier carrier_;
  std::uint64_t fork_generation_;
  std::uint64_t busy_ns_ = 0;
  std::uint64_t writes_ = 0;
};

}  // namespace vl5::terminal::server

// The pipe server: one listening endpoint, an accept thread, and a thread per
// client. Tracks how long it has been without clients, for the idle exit.
// Clients are bounded: one beyond the limit, or one whose thread cannot be
// started, is closed at once and the others keep being served. An exception
// that ends a client's thread or the accept thread is reported on standard
// error (see thread_guard.h): that client is closed and the others served;
// without its accept thread the server reports AcceptFailed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "terminal/model/terminal.h"
#include "terminal/server/limits.h"
#include "src/link/os/os.h"

namespace vl5::terminal::server {

class Server {
 public:
  Server(Terminal& terminal, std::u16string address, Limits limits = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Starts listening and accepting. False with the system error number,
  // which is EADDRINUSE (or its Windows kin) when another instance serves it.
  bool Start(std::uint32_t* error);
  // Stops accepting and removes the endpoint, without needing the endpoint
  // to still exist. Clients already connected keep being served until they
  // leave; the destructor waits for them.
  void Stop();

  // Clients connected now (finished client threads are reaped here).
  std::size_t ActiveClients();
  // Monotonic ms since the last client left, or since start without clients.
  std::int64_t IdleMs();
  // The accept thread ended by an exception (reported on standard error):
  // no new client can come, so the terminal should stop.
  bool AcceptFailed() const { return accept_failed_; }

 private:
  struct Client {
    std::thread thread;
    bool done = false;  // guarded by mutex_
  };
  void AcceptLoop();
  void Spawn(os::PipeHandle pipe);
  void Finished(Client* client);

  Terminal& terminal_;
  const Limits limits_;
  os::PipeListener listener_;
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> accept_failed_{false};
  bool listening_ = false;

  std::mutex mutex_;
  std::condition_variable all_done_;
  std::list<std::unique_ptr<Client>> clients_;
  std::size_t active_ = 0;
  std::int64_t idle_since_ms_ = 0;
};

}  // namespace vl5::terminal::server

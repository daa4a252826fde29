#include "terminal/server/server.h"

#include <system_error>

#include "terminal/model/clock.h"
#include "terminal/server/connection.h"
#include "terminal/server/thread_guard.h"

namespace vl5::terminal::server {

Server::Server(Terminal& terminal, std::u16string address, Limits limits) : terminal_(terminal), limits_(limits) {
  listener_.address = std::move(address);
  idle_since_ms_ = SteadyMs();
}

Server::~Server() {
  Stop();
  // Clients end when their peers hang up. A process that must not wait for
  // that ends itself instead of destroying the server (see main).
  std::unique_lock<std::mutex> lock(mutex_);
  all_done_.wait(lock, [this] { return active_ == 0; });
  for (auto& client : clients_) client->thread.join();
}

bool Server::Start(std::uint32_t* error) {
  if (!os::ListenPipe(listener_.address, &listener_, error)) return false;
  listening_ = true;
  try {
    acceptor_ = std::thread([this] {
      if (!RunReported("accept", [this] { AcceptLoop(); })) accept_failed_ = true;
    });
  } catch (const std::system_error& failure) {  // out of threads
    os::CloseListener(&listener_);
    listening_ = false;
    *error = static_cast<std::uint32_t>(failure.code().value());
    return false;
  }
  return true;
}

void Server::Stop() {
  if (!listening_) return;
  stopping_ = true;
  os::WakeListener(&listener_);
  if (acceptor_.joinable()) acceptor_.join();
  os::CloseListener(&listener_);
  listening_ = false;
}

void Server::AcceptLoop() {
  while (!stopping_) {
    std::uint32_t error = 0;
    os::PipeHandle pipe = os::AcceptPipe(&listener_, &error);
    if (stopping_) {
      os::ClosePipe(pipe);
      return;
    }
    if (pipe == os::kInvalidPipe) {
      if (error == os::kErrorCancelled) return;
      os::SleepMs(100);  // out of descriptors or a transient failure: try again
      continue;
    }
    Spawn(pipe);
  }
}

void Server::Spawn(os::PipeHandle pipe) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_ >= limits_.max_clients) {
    os::ClosePipe(pipe);
    return;
  }
  try {
    clients_.push_back(std::make_unique<Client>());
    Client* client = clients_.back().get();
    client->thread = std::thread([this, client, pipe] {
      RunReported("connection", [&] { ServeClient(terminal_, pipe, limits_); });
      os::ClosePipe(pipe);
      Finished(client);
    });
    ++active_;
  } catch (const std::exception&) {
    // Out of threads or memory: this client goes, the others stay.
    if (!clients_.empty() && !clients_.back()->thread.joinable()) clients_.pop_back();
    os::ClosePipe(pipe);
  }
}

void Server::Finished(Client* client) {
  std::lock_guard<std::mutex> lock(mutex_);
  client->done = true;
  if (--active_ == 0) {
    idle_since_ms_ = SteadyMs();
    all_done_.notify_all();
  }
}

std::size_t Server::ActiveClients() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();  // it has left Finished(), or is about to
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  return active_;
}

std::int64_t Server::IdleMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ == 0 ? SteadyMs() - idle_since_ms_ : 0;
}

}  // namespace vl5::terminal::server

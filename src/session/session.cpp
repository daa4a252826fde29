// initialize, login and shutdown: connect (finding or starting the terminal),
// introduce the module, log in, and wait until the terminal is ready.
#include "src/session/session.h"

#include <cstdint>
#include <string>

#include "src/link/channel.h"
#include "src/link/discovery.h"
#include "src/link/protocol.h"
#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::link {

namespace {

using py::AccountText;
using py::KeywordMessage;
using py::PathText;
using py::SetErrorReturnFalse;

constexpr std::uint32_t kDefaultTimeoutMs = 60000;
constexpr std::uint32_t kPollIntervalMs = 100;
constexpr char kOtpNeeded[] = "Unsupported authorization mode, OTP or certificate password needed";

struct Credentials {
  std::uint64_t login = 0;
  AccountText password;
  AccountText server;
  std::uint32_t timeout = 0;
};

// Reads the keywords both functions share, in their fixed order. Returns the
// name of the refused keyword, or null.
const char* ReadCredentialKeywords(const py::Args& args, Credentials* c) {
  if (PyObject* v = args.Keyword("login"); v != nullptr && !py::ConvertInteger(v, &c->login)) return "login";
  if (PyObject* v = args.Keyword("server"); v != nullptr && !py::ConvertText(v, &c->server)) return "server";
  if (PyObject* v = args.Keyword("password"); v != nullptr && !py::ConvertText(v, &c->password)) {
    return "password";
  }
  if (PyObject* v = args.Keyword("timeout"); v != nullptr && !py::ConvertInteger(v, &c->timeout)) {
    return "timeout";
  }
  return nullptr;
}

std::int32_t Hello() {
  // The build is stored as soon as it is read, even from a reply that fails later.
  std::uint32_t build = Client().TerminalBuild();
  std::int32_t result =
      Exchange(Request(wire::kCmdHello).Value(wire::kHelloWord).Counted(wire::kHelloClientName), Reply::Value(&build));
  Client().SetTerminalBuild(build);
  return result;
}

std::int32_t Login(const Credentials& c) {
  return Exchange(Request(wire::kCmdLogin)
                      .Value(wire::kLoginWord)
                      .Value(c.login)
                      .Counted(c.password.View())
                      .Counted(c.server.View()),
                  Reply::Status());
}

// Polls the terminal state every 100 ms until it is ready, the account is
// refused, or `timeout` ms (default 60 s) have been slept. At least one poll.
std::int32_t WaitForReady(std::uint32_t timeout) {
  const std::uint32_t limit = timeout != 0 ? timeout : kDefaultTimeoutMs;
  std::uint32_t elapsed = 0;
  do {
    std::uint32_t state = 0;
    std::int32_t result = Exchange(Request(wire::kCmdTerminalState), Reply::Value(&state));
    if (result < 0) return result;
    if (state == wire::kStateReady) return wire::kSuccess;
    if (state == wire::kStateAuthorizationFailed) return wire::kAuthorizationFailed;
    if (!Pause(kPollIntervalMs)) return Interrupted().code;
    elapsed += kPollIntervalMs;
  } while (elapsed < limit);
  return wire::kIpcTimeout;
}

PyObject* FailLogin(std::int32_t result) {
  return SetErrorReturnFalse(result, result == wire::kUnsupportedFunction ? kOtpNeeded : nullptr);
}

// An attached carrier is the terminal of this process: nothing to find.
Outcome ObtainConnection(const PathText& path, bool portable) {
  if (Client().Carried()) return Client().ConnectCarrier();
  if (!path.Empty()) return ConnectOrLaunch(std::u16string(path.View()), portable);
  Candidate candidate;
  if (Outcome found = FindInstalledTerminal(&candidate); !found.ok()) return found;
  return ConnectOrLaunch(candidate.path, candidate.portable);
}

}  // namespace

PyObject* PyInitialize(const py::Args& args) {
  Credentials credentials;
  PathText path;
  bool portable = false;
  Client().Disconnect();

  Py_ssize_t count = args.Count();
  if (count > 1) return SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidNumberOfArguments);
  if (count == 1 && !py::ConvertText(args[0], &path)) {
    return SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(1));
  }
  if (const char* refused = ReadCredentialKeywords(args, &credentials)) {
    return SetErrorReturnFalse(wire::kInvalidParams, KeywordMessage(refused));
  }
  if (PyObject* v = args.Keyword("path"); v != nullptr) {
    PathText keyword_path;
    if (!py::ConvertText(v, &keyword_path)) return SetErrorReturnFalse(wire::kInvalidParams, KeywordMessage("path"));
    path = keyword_path;
  }
  if (PyObject* v = args.Keyword("portable"); v != nullptr) {
    // An object whose truth test raises counts as true; its error is dropped
    // so that no exception escapes a call that reports through last_error.
    int truth = PyObject_IsTrue(v);
    if (truth < 0) PyErr_Clear();
    portable = truth != 0;
  }

  // Only possible when evaluating an argument called back into the module.
  if (Client().Connected()) return SetErrorReturnFalse(InitializeFailed(u"CInterClient already initialized"));
  if (Outcome connected = ObtainConnection(path, portable); !connected.ok()) return SetErrorReturnFalse(connected);

  if (std::int32_t result = Hello(); result < 0) return SetErrorReturnFalse(result);

  if (credentials.login != 0 || !credentials.password.Empty() || !credentials.server.Empty()) {
    std::int32_t result = Login(credentials);
    if (result < 0) {
      Client().Disconnect();
      return FailLogin(result);
    }
  }
  if (std::int32_t result = WaitForReady(credentials.timeout); result < 0) {
    Client().Disconnect();
    return SetErrorReturnFalse(result);
  }
  Py_RETURN_TRUE;
}

PyObject* PyLogin(const py::Args& args) {
  Credentials credentials;

  Py_ssize_t count = args.Count();
  if (count > 3) return SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidNumberOfArguments);
  if (count >= 1 && !py::ConvertInteger(args[0], &credentials.login)) {
    return SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(1));
  }
  if (count >= 2 && !py::ConvertText(args[1], &credentials.password)) {
    return SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(2));
  }
  if (count >= 3 && !py::ConvertText(args[2], &credentials.server)) {
    return SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(3));
  }
  if (const char* refused = ReadCredentialKeywords(args, &credentials)) {
    return SetErrorReturnFalse(wire::kInvalidParams, KeywordMessage(refused));
  }
  if (credentials.login == 0) return SetErrorReturnFalse(wire::kInvalidParams, KeywordMessage("login"));
  if (!Client().Connected()) return SetErrorReturnFalse(wire::kNoIpcConnection);

  if (std::int32_t result = Login(credentials); result < 0) return FailLogin(result);
  if (std::int32_t result = WaitForReady(credentials.timeout); result < 0) return SetErrorReturnFalse(result);
  Py_RETURN_TRUE;
}

PyObject* PyShutdown(PyObject*, PyObject*) {
  Client().Disconnect();
  Py_RETURN_TRUE;
}

}  // namespace vl5::link

// A scripted pipe server for protocol tests. It serves the pipe of an
// executable path, answers each request with prepared bytes, and records
// every request it receives, one hex line each.
//
//   scripted_peer [--exe PATH] [--script FILE] [--log FILE] [--lifetime SECONDS]
//
// Without options it serves the pipe of its own path and reads "peer.script"
// beside itself, logging to "peer.log" there: that is how it runs when a test
// has it started by initialize().
//
// Script lines (blank lines and lines starting with '#' are skipped):
//   delay MS     sleep before the pipe is opened (first lines only)
//   reply HEX    read one request, then send the bytes HEX
//   close        read one request, then close the connection
//   drop         close the connection without reading
//   exit         stop serving
// A new connection is accepted whenever none is open. After the last line the
// peer keeps the connection until the client closes it, then exits.
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "src/wire/text.h"

namespace {

using vl5::os::PipeHandle;

struct Step {
  std::string verb;
  std::string argument;
};

std::vector<std::uint8_t> ParseHex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

class Log {
 public:
  explicit Log(const std::string& path) : out_(path, std::ios::app) {}
  void Line(const std::string& text) {
    out_ << text << '\n';
    out_.flush();
  }

 private:
  std::ofstream out_;
};

bool ReadRequest(PipeHandle pipe, std::vector<std::uint8_t>* frame) {
  std::uint32_t error = 0;
  std::uint32_t length = 0;
  if (!vl5::os::ReadPipe(pipe, &length, 4, &error)) return false;
  frame->assign(4 + std::size_t{length}, 0);
  std::memcpy(frame->data(), &length, 4);
  return length == 0 || vl5::os::ReadPipe(pipe, frame->data() + 4, length, &error);
}

std::string Dirname(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  std::string own = vl5::wire::Utf16ToUtf8(vl5::os::CurrentExecutablePath());
  std::string exe = own;
  std::string script_path = Dirname(own) + "/peer.script";
  std::string log_path = Dirname(own) + "/peer.log";
  int lifetime = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--exe") exe = argv[i + 1];
    if (option == "--script") script_path = argv[i + 1];
    if (option == "--log") log_path = argv[i + 1];
    if (option == "--lifetime") lifetime = std::atoi(argv[i + 1]);
  }
  // A stray peer never outlives its test by long.
  std::thread([lifetime] {
    std::this_thread::sleep_for(std::chrono::seconds(lifetime));
    std::_Exit(3);
  }).detach();

  Log log(log_path);
  std::string args_line = "args";
  for (int i = 1; i < argc; ++i) args_line += std::string(" ") + argv[i];
  log.Line(args_line);

  std::vector<Step> steps;
  std::ifstream script(script_path);
  for (std::string line; std::getline(script, line);) {
    std::istringstream words(line);
    Step step;
    words >> step.verb;
    std::getline(words, step.argument);
    if (!step.verb.empty() && step.verb[0] != '#') steps.push_back(step);
  }

  std::size_t next = 0;
  for (; next < steps.size() && steps[next].verb == "delay"; ++next) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(steps[next].argument)));
  }

  std::u16string address;
  std::uint8_t digest[32];
  std::uint32_t error = 0;
  vl5::os::PipeListener listener;
  if (vl5::link::PipeNameFor(vl5::wire::Utf8ToUtf16(exe), &address, digest) != vl5::link::PipeNameError::kNone ||
      !vl5::os::ListenPipe(address, &listener, &error)) {
    log.Line("listen failed " + std::to_string(error));
    return 2;
  }
  log.Line("listening " + vl5::wire::Utf16ToUtf8(address));

  PipeHandle pipe = vl5::os::kInvalidPipe;
  auto close_pipe = [&] {
    vl5::os::ClosePipe(pipe);
    pipe = vl5::os::kInvalidPipe;
  };
  for (; next < steps.size(); ++next) {
    const Step& step = steps[next];
    if (step.verb == "exit") break;
    if (pipe == vl5::os::kInvalidPipe) {
      pipe = vl5::os::AcceptPipe(&listener, &error);
      if (pipe == vl5::os::kInvalidPipe) break;
      log.Line("connect");
    }
    if (step.verb == "drop") {
      close_pipe();
      continue;
    }
    std::vector<std::uint8_t> request;
    if (!ReadRequest(pipe, &request)) {
      log.Line("disconnect");
      close_pipe();
      --next;  // the step waits for the next connection
      continue;
    }
    log.Line(ToHex(request));
    if (step.verb == "close") {
      close_pipe();
    } else if (step.verb == "reply") {
      std::vector<std::uint8_t> bytes = ParseHex(step.argument);
      if (!bytes.empty()) vl5::os::WritePipe(pipe, bytes.data(), bytes.size(), &error);
    }
  }
  if (pipe != vl5::os::kInvalidPipe) {
    std::vector<std::uint8_t> request;
    while (ReadRequest(pipe, &request)) log.Line("unexpected " + ToHex(request));
    close_pipe();
  }
  vl5::os::CloseListener(&listener);
  log.Line("done");
  return 0;
}

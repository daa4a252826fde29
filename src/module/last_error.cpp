#include "src/module/last_error.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "src/wire/status.h"
#include "src/wire/text.h"

namespace vl5::py {

namespace {

constexpr std::size_t kMessageCapacity = 2048;

struct Record {
  std::int32_t code = 0;
  char message[kMessageCapacity] = {};
} g_last_error;

const char* StandardMessage(std::int32_t code) {
  switch (code) {
    case wire::kInvalidParams:
      return "Terminal: Invalid params";
    case wire::kOutOfMemory:
      return "Terminal: Out of memory";
    case wire::kNotFound:
      return "Terminal: Not found";
    case wire::kIncompatibleVersion:
      return "Terminal: Incompatible versions, please install the latest version of Terminal and Python module";
    case wire::kAuthorizationFailed:
      return "Terminal: Authorization failed";
    case wire::kUnsupportedFunction:
      return "Terminal: Unsupported function";
    case wire::kIpcCallFailed:
      return "IPC call failed";
    case wire::kIpcInitializeFailed:
      return "IPC initialize failed, ";
    case wire::kIpcSendFailed:
      return "IPC send failed";
    case wire::kIpcRecvFailed:
      return "IPC recv failed";
    case wire::kNoIpcConnection:
      return "No IPC connection";
    case wire::kIpcTimeout:
      return "IPC timeout";
    default:
      return "Terminal: Call failed";
  }
}

void StoreError(std::int32_t code, const char* message) {
  if (PyErr_Occurred()) PyErr_Clear();  // failures are reported here, never raised
  LastError::Set(code, message != nullptr ? message : StandardMessage(code));
}

}  // namespace

namespace LastError {

// The first step of every call: kept to a store and a short copy.
void Reset() {
  static constexpr char kSuccessMessage[] = "Success";
  g_last_error.code = wire::kSuccess;
  std::memcpy(g_last_error.message, kSuccessMessage, sizeof(kSuccessMessage));
}

void Set(std::int32_t code, const char* message) {
  g_last_error.code = code;
  std::size_t n = wire::Utf8Prefix(message, kMessageCapacity - 1);
  std::memcpy(g_last_error.message, message, n);
  g_last_error.message[n] = '\0';
}

std::int32_t Code() { return g_last_error.code; }

}  // namespace LastError

void SetError(std::int32_t code, const char* message) { StoreError(code, message); }

PyObject* SetErrorReturnNone(std::int32_t code, const char* message) {
  StoreError(code, message);
  Py_RETURN_NONE;
}

PyObject* SetErrorReturnFalse(std::int32_t code, const char* message) {
  StoreError(code, message);
  Py_RETURN_FALSE;
}

PyObject* SetErrorReturnFalse(const link::Outcome& failure) {
  // Only the initialize failure has a message for a detail to complete.
  std::string text = StandardMessage(failure.code);
  if (failure.code == wire::kIpcInitializeFailed) text += wire::Utf16ToUtf8(failure.detail);
  return SetErrorReturnFalse(failure.code, text.c_str());
}

const char* PositionalMessage(int position) {
  switch (position) {
    case 1:
      return "Invalid 1st unnamed argument";
    case 2:
      return "Invalid 2nd unnamed argument";
    default:
      return "Invalid 3rd unnamed argument";
  }
}

const char* KeywordMessage(const char* name) {
  // Copied into the last error at once; calls are serialised by the interpreter lock.
  static char message[64];
  std::snprintf(message, sizeof(message), "Invalid \"%s\" argument", name);
  return message;
}

PyObject* PyLastError(PyObject*, PyObject*) { return Py_BuildValue("(is)", g_last_error.code, g_last_error.message); }

}  // namespace vl5::py

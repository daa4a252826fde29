# Calls of the POSIX platform layer (src/link/os/posix/) that not every POSIX
# system has, Linux's mostly. Each found one becomes a HAVE_... definition on
# the target; without it the layer takes a portable fallback. With
# VL5_PORTABLE_POSIX nothing is looked for, so a Linux build compiles and
# tests every fallback.
include(CheckCXXSourceCompiles)
include(CheckCXXSymbolExists)

function(vl5_posix_features target)
  if(VL5_PORTABLE_POSIX)
    message(STATUS "POSIX platform layer: portable fallbacks only")
    return()
  endif()
  # Peer credentials: fallback getpeereid (BSD, macOS), else every peer is refused.
  check_cxx_source_compiles([=[
    #include <sys/socket.h>
    int main() { ucred c{}; socklen_t n = sizeof(c); return getsockopt(0, SOL_SOCKET, SO_PEERCRED, &c, &n) + c.uid; }
  ]=] HAVE_SO_PEERCRED)
  check_cxx_symbol_exists(getpeereid "unistd.h" HAVE_GETPEEREID)
  # Close-on-exec (and non-blocking) at creation: fallback fcntl just after.
  check_cxx_source_compiles([=[
    #include <sys/socket.h>
    int main() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }
  ]=] HAVE_SOCK_CLOEXEC)
  check_cxx_symbol_exists(accept4 "sys/socket.h" HAVE_ACCEPT4)
  check_cxx_symbol_exists(pipe2 "unistd.h" HAVE_PIPE2)
  check_cxx_symbol_exists(mkostemp "stdlib.h" HAVE_MKOSTEMP)
  # No SIGPIPE from a send: fallback SIGPIPE blocked around the send.
  check_cxx_symbol_exists(MSG_NOSIGNAL "sys/socket.h" HAVE_MSG_NOSIGNAL)
  # Walking through folders without read access: fallback O_RDONLY.
  check_cxx_symbol_exists(O_PATH "fcntl.h" HAVE_O_PATH)
  # Closing every descriptor in one call: fallback a close() loop.
  check_cxx_symbol_exists(SYS_close_range "sys/syscall.h" HAVE_SYS_CLOSE_RANGE)
  # An idle scheduling class: fallback the lowest priority of the thread's policy.
  # Nanosecond file times: fallback whole seconds.
  check_cxx_source_compiles([=[
    #include <sys/stat.h>
    int main() { struct stat st{}; return static_cast<int>(st.st_mtim.tv_nsec); }
  ]=] HAVE_STAT_ST_MTIM)
  # Another process's program: procfs is a file system, not a symbol a compile
  # check could find. Fallback: not known (discovery then goes by time alone,
  # and a server cannot name its own pipe).
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(HAVE_PROC_PID_EXE ON)
  endif()

  foreach(feature HAVE_SO_PEERCRED HAVE_GETPEEREID HAVE_SOCK_CLOEXEC HAVE_ACCEPT4 HAVE_PIPE2 HAVE_MKOSTEMP
                  HAVE_MSG_NOSIGNAL HAVE_O_PATH HAVE_SYS_CLOSE_RANGE HAVE_STAT_ST_MTIM HAVE_PROC_PID_EXE)
    if(${feature})
      target_compile_definitions(${target} PRIVATE ${feature})
    endif()
  endforeach()
endfunction()

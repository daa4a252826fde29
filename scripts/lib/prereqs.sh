# Sourced. What a from-source build and the test command need from the
# system, found by probing rather than by package name where the probe is
# cheap (python3 may be a pyenv or other non-Debian interpreter), and Debian's
# package for each thing that is missing.

# Debian packages for what a build of the package lacks: a C++ compiler, the
# headers of the python3 that builds, and venv with pip when one is needed.
build_packages_missing() {
  command -v c++ >/dev/null 2>&1 || command -v g++ >/dev/null 2>&1 || echo g++
  python3 -c 'import os, sys, sysconfig
sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' || echo python3-dev
  # Debian's python3 has venv but no pip to seed it with without python3-venv.
  python3 -c 'import sys; sys.exit(sys.prefix == sys.base_prefix)' ||
    python3 -c 'import ensurepip, venv' >/dev/null 2>&1 || echo python3-venv
}

# ... and what the test command lacks beyond that: CMake, GoogleTest (built
# library and sources for the cross build), mingw-w64, Wine, clang for the
# fuzzing step (which adds clang's fuzzer runtime itself), debootstrap for
# the roots of other CPython versions, and gpgv with Debian's keyring to check
# what the Windows build of the extension downloads from Debian.
test_packages_missing() {
  build_packages_missing
  local p
  for p in cmake googletest libgtest-dev g++-mingw-w64-x86-64-posix wine wine64 clang clang-format debootstrap gpgv debian-archive-keyring; do
    if command -v dpkg-query >/dev/null 2>&1; then
      dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
    else
      echo "$p"
    fi
  done
}

# Installs the given Debian packages when running as root with apt-get, and
# otherwise stops with the exact command that would.
provide_packages() {
  [ $# -gt 0 ] || return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing Debian packages: $*"
    export DEBIAN_FRONTEND=noninteractive
    # Another apt run (a second checkout's test command) may hold the lock.
    apt-get -o DPkg::Lock::Timeout=900 update -q
    apt-get -o DPkg::Lock::Timeout=900 install -y -q "$@"
    return 0
  fi
  echo "error: missing system packages: $*" >&2
  if command -v apt-get >/dev/null 2>&1; then
    echo "run this first, then try again:" >&2
    echo "  sudo apt-get install -y $*" >&2
  else
    echo "install your system's equivalents of these Debian packages, then try again" >&2
  fi
  exit 1
}

# Sourced (sh or bash). A build folder is used only when it is the caller's
# own and private: one that another user created or can write to (a fixed
# path under /tmp) may hold a CMakeCache.txt or programs of theirs, which
# the build and the tests would then run as the caller.
#
#   private_build_dir DIR    makes DIR (mode 0700) when it is missing, then
#                            fails with a message unless DIR is a folder, not
#                            a symbolic link, owned by the caller and not
#                            writable by group or others.
private_build_dir() {
  if [ ! -e "$1" ] && [ ! -L "$1" ]; then
    mkdir -p -- "$(dirname -- "$1")"
    # Not -p: a folder someone made meanwhile is left to the checks below.
    mkdir -m 700 -- "$1" 2>/dev/null || true
  fi
  if [ -L "$1" ] || [ ! -d "$1" ]; then
    echo "build folder $1 is a symbolic link or not a folder: refusing it" >&2
    return 1
  fi
  _vl5_owner=$(stat -c %u -- "$1")
  _vl5_mode=$(stat -c %a -- "$1")
  if [ "$_vl5_owner" != "$(id -u)" ]; then
    echo "build folder $1 belongs to uid $_vl5_owner, not to you: refusing it (remove it or pass another folder)" >&2
    return 1
  fi
  if [ $((0$_vl5_mode & 022)) -ne 0 ]; then
    echo "build folder $1 is writable by group or others (mode $_vl5_mode): refusing it (chmod go-w it)" >&2
    return 1
  fi
}

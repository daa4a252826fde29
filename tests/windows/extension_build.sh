#!/usr/bin/env bash
# Cross-builds the extension velmora5._core for Windows x64 with mingw-w64
# against CPython's and NumPy's Windows headers and an import library of the
# interpreter's DLL (tests/windows/python_sdk.py makes them, kept in
# BUILD_DIR/sdk for the next run), then checks the module: it links with
# nothing undefined (a PE link fails on any), exports PyInit__core alone,
# imports from the interpreter's DLL and Windows' own DLLs only (libstdc++,
# libgcc and winpthread linked in), and every header holding record-layout
# static assertions was compiled into it. No Windows CPython can be had
# here, so the module is not run.
#
#   tests/windows/extension_build.sh [BUILD_DIR] [PYTHON_VERSION]
#   (defaults build/windows-extension in the checkout, 3.14)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build_dir=${1:-$repo/build/windows-extension}
version=${2:-3.14}
nodot=${version//./}
mingw=x86_64-w64-mingw32
. "$repo/scripts/lib/build_dir.sh"
private_build_dir "$build_dir" || exit 1
build_dir=$(cd "$build_dir" && pwd)

for tool in $mingw-g++-posix $mingw-dlltool $mingw-objdump dpkg-deb gpgv; do
  command -v "$tool" >/dev/null || { echo "error: $tool is missing (Debian: g++-mingw-w64-x86-64-posix dpkg gpgv)" >&2; exit 1; }
done

sdk=$build_dir/sdk
stamp="$version $(sha256sum "$here/python_sdk.py" | cut -d' ' -f1)"
if [[ ! -f $sdk/.complete ]] || [[ $(cat "$sdk/.complete") != "$stamp" ]]; then
  python3 "$here/python_sdk.py" "$sdk" "$version"
  echo "$stamp" >"$sdk/.complete"
fi

objects=$build_dir/build
cache=$objects/CMakeCache.txt
if [[ -f $cache ]] && ! grep -qE '^CMAKE_TOOLCHAIN_FILE:[A-Z]+=.*mingw-w64\.cmake$' "$cache"; then
  echo "$objects was configured without the mingw-w64 toolchain; remove it" >&2
  exit 1
fi
cmake -S "$repo" -B "$objects" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVL5_PYTHON=ON -DVL5_TESTS=OFF \
  -DCMAKE_MODULE_PATH="$repo/cmake/windows_python" \
  -DVL5_WINDOWS_PYTHON_SDK="$sdk" -DVL5_WINDOWS_PYTHON_VERSION="$version" >/dev/null
cmake --build "$objects" -j2 --target _core

module=$objects/_core.cp$nodot-win_amd64.pyd
[[ -f $module ]] || { echo "error: the build made no $module" >&2; exit 1; }
headers=$($mingw-objdump -p "$module")
failed=0

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/{t=1; next} t&&/^[ \t]*\[/{print $NF; next} t{t=0}' <<<"$headers" | sort)
echo "exports: $(echo $exports)"
if [[ $exports != PyInit__core ]]; then
  echo "error: the module must export PyInit__core alone" >&2
  failed=1
fi

# Windows' own DLLs: the C runtime mingw-w64 links (msvcrt) and the system
# libraries the platform layer names in CMakeLists.txt.
allowed="^(python$nodot\\.dll|kernel32\\.dll|msvcrt\\.dll|advapi32\\.dll|shell32\\.dll|ole32\\.dll|user32\\.dll|ws2_32\\.dll)$"
imports=$(awk '/DLL Name:/{print $3}' <<<"$headers" | sort -u)
echo "imports: $(echo $imports)"
while read -r dll; do
  if ! grep -qiE "$allowed" <<<"$dll"; then
    echo "error: the module imports $dll, neither python$nodot.dll nor a Windows system DLL" >&2
    failed=1
  fi
done <<<"$imports"
grep -qix "python$nodot.dll" <<<"$imports" || { echo "error: the module imports nothing from python$nodot.dll" >&2; failed=1; }

# The static assertions are checked by compiling them: each file that holds
# one (outside the POSIX layer) must be among what the module was built from.
depfiles=$(find "$objects/CMakeFiles/_core.dir" "$objects/CMakeFiles/vl5_link.dir" -name '*.d')
compiled=0
while read -r file; do
  # ccache may write the paths relative to its base folder.
  if ! grep -qE "(^|[ /])${file//./\\.}([ :\\]|\$)" $depfiles; then
    echo "error: $file holds static assertions but was not compiled into the module" >&2
    failed=1
  fi
  compiled=$((compiled + 1))
done < <(cd "$repo" && grep -rl --include='*.h' --include='*.cpp' static_assert src | grep -v '^src/link/os/posix/')
echo "files with static assertions compiled for LLP64: $compiled"

[[ $failed -eq 0 ]] || exit 1
echo "the extension cross-built for Windows x64 against CPython $version: checks passed (not run: no Windows CPython here)"

"""What cross-building the extension for Windows x64 needs of CPython and
NumPy, made in one folder from public packages:

  include/            CPython's headers (Include/ of Debian unstable's
                      libpython3.X-dev) with the Windows pyconfig.h in place
                      of the Linux one
  numpy-include/      numpy/_core/include of NumPy's win_amd64 wheel
  pythonXY.def        every function and variable CPython's headers declare
                      as exported (PyAPI_FUNC, PyAPI_DATA)
  libpythonXY.dll.a   the import library of pythonXY.dll, made from it

Every download is checked: the archive's signed release file by gpgv with
Debian's keyring, each index by the hash the release file gives, each
package by the hash its index gives. pip checks the wheel.

  python3 tests/windows/python_sdk.py SDK_DIR [PYTHON_VERSION]    (default 3.14)
"""
import hashlib
import io
import lzma
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import urllib.request
import zipfile

MIRROR = os.environ.get("VL5_DEBIAN_MIRROR", "http://deb.debian.org/debian")
KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
SUITE = "sid"
MINGW = "x86_64-w64-mingw32"


def fail(message):
    sys.exit(f"error: {message}")


def fetch(path):
    url = f"{MIRROR}/{path}"
    try:
        with urllib.request.urlopen(url, timeout=120) as reply:
            return reply.read()
    except OSError as error:
        fail(f"cannot download {url}: {error}")


def checked(data, sha256, what):
    if hashlib.sha256(data).hexdigest() != sha256:
        fail(f"{what}: SHA-256 differs from the one the archive's index gives")
    return data


def stanzas(text):
    for block in text.split("\n\n"):
        fields, key = {}, None
        for line in block.splitlines():
            if line[:1] in (" ", "\t") and key:
                fields[key] += "\n" + line.strip()
            elif ":" in line:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        if fields:
            yield fields


class Archive:
    """Debian's archive for one suite, trusted through its signed release."""

    def __init__(self):
        if not os.path.isfile(KEYRING) or shutil.which("gpgv") is None:
            fail(f"gpgv and {KEYRING} are needed (Debian: gpgv debian-archive-keyring)")
        signed = fetch(f"dists/{SUITE}/InRelease")
        with tempfile.NamedTemporaryFile() as file:
            file.write(signed)
            file.flush()
            verify = subprocess.run(["gpgv", "--keyring", KEYRING, "--output", "-", file.name],
                                    capture_output=True)
        if verify.returncode != 0:
            fail(f"the {SUITE} release file's signature does not verify:\n{verify.stderr.decode()}")
        release = verify.stdout.decode()
        self.hashes = {}
        sha_section = release.split("SHA256:", 1)[-1]
        for line in sha_section.splitlines()[1:]:
            parts = line.split()
            if len(parts) != 3 or not line.startswith(" "):
                break
            self.hashes[parts[2]] = parts[0]

    def index(self, name):
        if name not in self.hashes:
            fail(f"the {SUITE} release file lists no {name}")
        data = checked(fetch(f"dists/{SUITE}/{name}"), self.hashes[name], name)
        return lzma.decompress(data).decode("utf-8", "replace")

    def binary(self, package):
        for fields in stanzas(self.index("main/binary-amd64/Packages.xz")):
            if fields.get("Package") == package:
                print(f"{package} {fields['Version']}")
                return checked(fetch(fields["Filename"]), fields["SHA256"], package)
        fail(f"{SUITE} has no binary package {package}")

    def sources(self):
        return list(stanzas(self.index("main/source/Sources.xz")))


def deb_member(deb, prefix):
    """The files below prefix in a .deb's data archive, by path below it."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "package.deb")
        with open(path, "wb") as file:
            file.write(deb)
        subprocess.run(["dpkg-deb", "-x", path, os.path.join(scratch, "root")], check=True)
        top = os.path.join(scratch, "root", prefix)
        found = {}
        for folder, _, files in os.walk(top):
            for name in files:
                full = os.path.join(folder, name)
                if not os.path.islink(full):
                    with open(full, "rb") as file:
                        found[os.path.relpath(full, top)] = file.read()
        return found


def windows_config(archive, version):
    """CPython's Windows pyconfig.h.in from the source package of this
    version; its default (GIL) build uses it unchanged. A mirror that does
    not serve that source (some caches keep only part of the pool) falls back
    to the newest older CPython source it serves, said plainly."""
    wanted = tuple(int(part) for part in version.split("."))
    candidates = []
    for fields in archive.sources():
        match = re.fullmatch(r"python(3)\.(\d+)", fields.get("Package", ""))
        if not match or (3, int(match.group(2))) > wanted:
            continue
        for line in fields.get("Checksums-Sha256", "").splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[2].endswith(".orig.tar.xz"):
                numbers = tuple(int(number) for number in re.findall(r"\d+", fields["Version"]))
                candidates.append(((3, int(match.group(2))), numbers, fields["Version"], fields["Directory"], parts))
    for key, _, source_version, directory, (sha256, _, name) in sorted(candidates, reverse=True):
        url = f"{MIRROR}/{directory}/{name}"
        try:
            with urllib.request.urlopen(url, timeout=300) as reply:
                data = reply.read()
        except OSError as error:
            print(f"warning: {name}: {error}", file=sys.stderr)
            continue
        checked(data, sha256, name)
        with tarfile.open(fileobj=io.BytesIO(data), mode="r:xz") as tar:
            for member in tar:
                if member.isfile() and re.fullmatch(r"[^/]+/PC/pyconfig\.h\.in", member.name):
                    text = tar.extractfile(member).read().decode()
                    break
            else:
                fail(f"{name} has no PC/pyconfig.h.in")
        if key != wanted:
            print(f"warning: Windows pyconfig.h from CPython {source_version}: this mirror serves no "
                  f"source of python{version}", file=sys.stderr)
        if "Py_GIL_DISABLED" not in text or "MS_WIN64" not in text:
            fail(f"{name}: PC/pyconfig.h.in is not the Windows configuration this script knows")
        return text, source_version
    fail(f"the mirror serves no CPython source up to {version} with PC/pyconfig.h.in")


DECLARATION = re.compile(r"PyAPI_(FUNC|DATA)\(([^()]*(?:\([^()]*\))?[^()]*)\)([^;{]*)")
# Every name the interpreter exports follows its naming rule; a declaration
# of another name is of a stub for other platforms (pthread_stubs.h).
EXPORTED_NAME = re.compile(r"_{0,2}P[yY]\w*")


def exported_names(headers):
    """Names CPython's headers declare with PyAPI_FUNC or PyAPI_DATA: what
    the interpreter's DLL exports. A function is named right before its
    parameter list (some internal ones are declared PyAPI_DATA), a variable
    before ';', '[' or '=', or as '(*name)' when it holds a function pointer."""
    functions, data = set(), set()
    for path, content in headers.items():
        if not path.endswith(".h"):
            continue
        text = re.sub(r"/\*.*?\*/", " ", content.decode("utf-8", "replace"), flags=re.S)
        text = re.sub(r"^\s*#\s*define\b.*?(?<!\\)$", " ", text, flags=re.M | re.S)
        for kind, _, rest in DECLARATION.findall(text):
            pointer = re.search(r"\(\s*\*\s*(\w+)\s*\)", rest) if kind == "DATA" else None
            if pointer:
                name, target = pointer.group(1), data
            elif "(" in rest:
                name, target = (re.findall(r"\w+", rest.split("(", 1)[0]) or [""])[-1], functions
            else:
                name, target = (re.findall(r"\w+", re.split(r"[\[=]", rest, 1)[0]) or [""])[-1], data
            if EXPORTED_NAME.fullmatch(name):
                target.add(name)
    return functions - data, data


def numpy_headers(target, version):
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([sys.executable, "-m", "pip", "download", "-q", "--disable-pip-version-check",
                        "--no-deps", "--only-binary=:all:", "--platform", "win_amd64",
                        "--python-version", version, "-d", scratch, "numpy"], check=True)
        wheels = [name for name in os.listdir(scratch) if name.endswith(".whl")]
        if len(wheels) != 1:
            fail(f"pip gave {wheels} for NumPy's win_amd64 wheel")
        print(wheels[0])
        prefix = "numpy/_core/include/"
        with zipfile.ZipFile(os.path.join(scratch, wheels[0])) as wheel:
            members = [name for name in wheel.namelist() if name.startswith(prefix) and name.endswith(".h")]
            if not any(name.endswith("numpy/_numpyconfig.h") for name in members):
                fail(f"{wheels[0]} has no {prefix}numpy/_numpyconfig.h")
            for name in members:
                relative = os.path.normpath(name[len(prefix):])
                if relative.startswith(".."):
                    fail(f"{wheels[0]}: {name} leaves its folder")
                out = os.path.join(target, relative)
                os.makedirs(os.path.dirname(out), exist_ok=True)
                with open(out, "wb") as file:
                    file.write(wheel.read(name))


def main():
    if len(sys.argv) not in (2, 3):
        fail(f"usage: {sys.argv[0]} SDK_DIR [PYTHON_VERSION]")
    sdk = os.path.abspath(sys.argv[1])
    version = sys.argv[2] if len(sys.argv) == 3 else "3.14"
    if not re.fullmatch(r"3\.\d+", version):
        fail(f"{version} is not a CPython version such as 3.14")
    nodot = version.replace(".", "")
    dll = f"python{nodot}.dll"
    if os.path.exists(sdk):
        shutil.rmtree(sdk)
    os.makedirs(sdk)

    archive = Archive()
    headers = deb_member(archive.binary(f"libpython{version}-dev"), f"usr/include/python{version}")
    if "Python.h" not in headers:
        fail(f"libpython{version}-dev has no Python.h")
    config, source_version = windows_config(archive, version)
    # The Linux pyconfig.h goes: Python.h includes pyconfig.h from its own
    # folder first.
    headers["pyconfig.h"] = config.encode()
    for relative, content in headers.items():
        out = os.path.join(sdk, "include", relative)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, "wb") as file:
            file.write(content)
    print(f"Windows pyconfig.h from CPython {source_version}'s PC/pyconfig.h.in")

    functions, data = exported_names(headers)
    if "PyModule_Create2" not in functions or "_Py_NoneStruct" not in data:
        fail("the headers' exports lack PyModule_Create2 or _Py_NoneStruct: declarations not understood")
    definition = os.path.join(sdk, f"python{nodot}.def")
    with open(definition, "w") as file:
        file.write(f"LIBRARY {dll}\nEXPORTS\n")
        file.writelines(f"  {name}\n" for name in sorted(functions))
        file.writelines(f"  {name} DATA\n" for name in sorted(data))
    print(f"{dll}: {len(functions)} functions and {len(data)} variables declared exported")
    subprocess.run([f"{MINGW}-dlltool", "-d", definition, "-D", dll,
                    "-l", os.path.join(sdk, f"libpython{nodot}.dll.a")], check=True)

    numpy_headers(os.path.join(sdk, "numpy-include"), version)


if __name__ == "__main__":
    main()

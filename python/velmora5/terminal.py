"""The simulated terminal shipped with this package, and its settings.

``terminal64`` (``terminal64.exe`` on Windows) is installed next to the
extension module. Pass its path to ``initialize`` to start it, or run it by
hand; it registers itself, so later ``initialize()`` calls find it without a
path.
"""
import configparser
import io
import os
from typing import Any, Dict, List, Mapping, Optional

from velmora5.frames import to_seconds

__all__ = ["executable_path", "TerminalError", "command_line", "account_changes", "with_accounts", "DEFAULT_LOGIN"]

DEFAULT_LOGIN = 10001  # the account terminal64 logs in at start unless told otherwise


def executable_path() -> str:
    """Full path of the bundled terminal executable (it may be absent in a
    source checkout that was not installed)."""
    name = "terminal64.exe" if os.name == "nt" else "terminal64"
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), name)


class TerminalError(RuntimeError):
    """The simulated terminal could not be started or refused its settings."""


def _flag(value: bool) -> str:
    return "1" if value else "0"


def command_line(settings: Mapping[str, Any]) -> List[str]:
    """terminal64 options for `settings`; keys are the terminal's own, so
    settings this module does not know pass through unchanged."""
    args = []
    for key, value in settings.items():
        if value is None:
            continue
        if key == "clock" and not (isinstance(value, str) and value == "live"):
            value = to_seconds(value)
        elif isinstance(value, bool):
            value = _flag(value)
        args += ["--" + key.replace("_", "-"), str(value)]
    return args


def account_changes(accounts: Optional[Mapping[int, Mapping[str, Any]]], balance: Optional[float],
                    settings: Mapping[str, Any]) -> Dict[int, Dict[str, Any]]:
    """The [Account <login>] keys to change: `accounts` by login, and
    `balance` for the account the terminal logs in at start."""
    changes = {int(login): dict(keys) for login, keys in (accounts or {}).items()}
    if balance is not None:
        changes.setdefault(int(settings.get("login") or DEFAULT_LOGIN), {})["balance"] = balance
    return changes


def _ini_parser() -> configparser.ConfigParser:
    """A parser that reads terminal.ini as terminal64 does (terminal/base/ini.cpp):
    "key=value" split at the first "=" only (":" belongs to the key or value),
    whole-line ";" and "#" comments, nothing special in values ("%", ";"), no
    DEFAULT section. terminal64 ignores the case of section names and keys
    and takes the last of equal keys; the parser keeps them as written and
    with_accounts compares them without case."""
    parser = configparser.ConfigParser(delimiters=("=",), comment_prefixes=(";", "#"), inline_comment_prefixes=None,
                                       strict=False, empty_lines_in_values=False, interpolation=None,
                                       default_section="\0")
    parser.optionxform = str  # type: ignore[assignment, method-assign]
    return parser


def with_accounts(text: str, accounts: Mapping[int, Mapping[str, Any]]) -> str:
    """The ini text with the given [Account <login>] keys changed or added;
    accounts not named keep their settings, sections their order (comments
    are dropped)."""
    parser = _ini_parser()
    # terminal64 trims every line, so an indented line is a line of its own,
    # never the continuation of the value above.
    lines = (line.strip(" \t\r") for line in text.lstrip("\ufeff").split("\n"))
    try:
        parser.read_string("\n".join(lines))
    except configparser.Error as error:
        raise TerminalError(f"terminal.ini cannot be read: {error}") from None
    for login, keys in accounts.items():
        name = f"Account {int(login)}"
        sections = [s for s in parser.sections() if s.strip().lower() == name.lower()]
        if not sections:
            parser.add_section(name)
            sections = [name]
        for key, value in keys.items():
            written = _flag(value) if isinstance(value, bool) else str(value)
            if not key.isidentifier() or "\n" in written or "\r" in written:  # one line of key=value each
                raise TerminalError(f"account {login}: {key}={written!r} cannot be written to terminal.ini")
            # One occurrence left, so no other spelling of the key overrides it.
            same = [(s, o) for s in sections for o in parser.options(s) if o.strip().lower() == key.lower()]
            for section, option in same[1:]:
                parser.remove_option(section, option)
            section, option = same[0] if same else (sections[0], key)
            parser.set(section, option, written)
    out = io.StringIO()
    parser.write(out, space_around_delimiters=False)
    return out.getvalue()

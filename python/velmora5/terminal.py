"""The simulated terminal shipped with this package.

``terminal64`` (``terminal64.exe`` on Windows) is installed next to the
extension module. Pass its path to ``initialize`` to start it, or run it by
hand; it registers itself, so later ``initialize()`` calls find it without a
path.
"""
import os

__all__ = ["executable_path"]


def executable_path() -> str:
    """Full path of the bundled terminal executable (it may be absent in a
    source checkout that was not installed)."""
    name = "terminal64.exe" if os.name == "nt" else "terminal64"
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), name)

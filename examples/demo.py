"""Connect to the terminal that initialize() finds, and show what it reports."""

import velmora5


def main() -> int:
    if not velmora5.initialize():
        print("initialize failed:", velmora5.last_error())
        return 1
    try:
        major, build, text = velmora5.version()
        print(f"terminal version {major}, build {build}: {text}")
    finally:
        velmora5.shutdown()
    return 0


if __name__ == "__main__":
    raise SystemExit(main())

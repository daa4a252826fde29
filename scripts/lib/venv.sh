# Sourced. Chooses the Python environment that the package and its tools go
# into, and puts its interpreter first on PATH: the virtual environment
# python3 already runs in, else .venv in the checkout (created here). The
# system Python is never installed into: it may belong to the distribution
# (PEP 668) or to other users.
vl5_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if python3 -c 'import sys; sys.exit(sys.prefix == sys.base_prefix)'; then
  VIRTUAL_ENV=$(python3 -c 'import sys; print(sys.prefix)')
else
  VIRTUAL_ENV=$vl5_repo/.venv
  # A folder left by an interpreter that is gone is made again.
  if ! "$VIRTUAL_ENV/bin/python" -c '' >/dev/null 2>&1; then
    echo "==> creating the virtual environment $VIRTUAL_ENV"
    python3 -m venv --clear "$VIRTUAL_ENV"
  fi
fi
export VIRTUAL_ENV
export PATH="$VIRTUAL_ENV/bin:$PATH"
hash -r

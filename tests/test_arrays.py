"""Tick and bar arrays: their dtypes, their memory and the values in them.

Everything here also runs under NumPy 1.26 (the numpy_runtime marker), so
only API that both NumPy generations share is used.
"""
import os
import subprocess
import sys

import numpy as np
import pytest

import velmora5
from conftest import READY
from frames import (CMD_RATES_FROM_POS, CMD_TICKS_FROM, RATE, TICK, list_reply, rate_record,
                    tick_record, unpack, with_extra)

pytestmark = pytest.mark.numpy_runtime

# name, offset, dtype, NumPy type number
RATE_FIELDS = [("time", 0, "<i8", 9), ("open", 8, "<f8", 12), ("high", 16, "<f8", 12),
               ("low", 24, "<f8", 12), ("close", 32, "<f8", 12), ("tick_volume", 40, "<u8", 10),
               ("spread", 48, "<i4", 5), ("real_volume", 52, "<u8", 10)]
TICK_FIELDS = [("time", 0, "<i8", 9), ("bid", 8, "<f8", 12), ("ask", 16, "<f8", 12),
               ("last", 24, "<f8", 12), ("volume", 32, "<u8", 10), ("time_msc", 40, "<i8", 9),
               ("flags", 48, "<u4", 6), ("volume_real", 52, "<f8", 12)]

RATES = [rate_record(-1, 1.5, 2.5, 0.5, 1.25, 2**64 - 1, -3, 2**64 - 2),
         rate_record(1_700_000_000, 1.0842, 1.0851, 1.0839, 1.0847, 1234, 7, 2**53 + 1)]
TICKS = [tick_record(1_700_000_000, 1.0842, 1.0844, 0.0, 2**64 - 1, 1_700_000_000_123, 2**32 - 1, 0.1),
         tick_record(-5, -1.5, 2.0, 3.0, 0, -5000, 6, 1e300)]


def packed_dtype(fields):
    return np.dtype({"names": [f[0] for f in fields], "formats": [f[2] for f in fields],
                     "offsets": [f[1] for f in fields], "itemsize": 60})


def rates_call():
    return velmora5.copy_rates_from_pos("EURUSD", 1, 0, 10)


def ticks_call():
    return velmora5.copy_ticks_from("EURUSD", 0, 10, 0)


KINDS = {
    "rates": (rates_call, CMD_RATES_FROM_POS, RATE_FIELDS, RATE, RATES),
    "ticks": (ticks_call, CMD_TICKS_FROM, TICK_FIELDS, TICK, TICKS),
}


@pytest.fixture(params=KINDS.values(), ids=KINDS.keys())
def kind(request):
    return request.param


@pytest.mark.parametrize("records", [2, 0], ids=["records", "empty"])
def test_dtype_is_the_packed_wire_record(connected, kind, records):
    call, command, fields, _, data = kind
    connected([list_reply(command, data[:records])])
    array = call()
    assert array is not None, velmora5.last_error()
    dtype = array.dtype
    assert dtype.names == tuple(name for name, _, _, _ in fields)
    for name, offset, type_text, number in fields:
        field_type, field_offset = dtype.fields[name][:2]
        assert (name, field_offset) == (name, offset)
        assert field_type == np.dtype(type_text), name
        assert field_type.num == number, name
    assert dtype.itemsize == 60
    assert dtype.kind == "V"
    assert dtype.flags == 16  # needs the Python API, nothing else
    assert not dtype.isalignedstruct
    assert dtype == packed_dtype(fields)


def test_arrays_are_one_dimensional_read_only_and_own_their_memory(connected, kind):
    call, command, _, _, data = kind
    connected([list_reply(command, data)])
    array = call()
    assert array.ndim == 1 and array.shape == (2,)
    assert array.strides == (60,)
    assert array.flags.owndata and array.base is None
    assert not array.flags.writeable
    with pytest.raises(ValueError):
        array[0] = array[1]
    with pytest.raises(ValueError):
        array[array.dtype.names[0]][0] = 1
    assert array.tobytes() == b"".join(data)  # the assignments changed nothing


def test_zero_records_give_an_empty_array_with_the_full_dtype(connected, kind):
    call, command, fields, _, _ = kind
    connected([list_reply(command, [])])
    array = call()
    assert isinstance(array, np.ndarray)
    assert array.shape == (0,)
    assert array.dtype == packed_dtype(fields) and array.dtype.itemsize == 60
    assert velmora5.last_error() == (1, "Success")


def test_values_round_trip_unchanged(connected, kind):
    call, command, _, layout, data = kind
    connected([list_reply(command, data)])
    array = call()
    assert array.tobytes() == b"".join(data)
    # Read back as Python numbers: the 64-bit extremes and the unaligned
    # 8-byte field at offset 52 keep every bit.
    assert [{name: row[name].item() for name, _, _ in layout} for row in array] == [
        unpack(record, layout) for record in data]


@pytest.mark.parametrize("outcome", ["success", "rejected after allocation"])
def test_repeated_copies_release_their_memory(connected, assert_no_leak, kind, outcome):
    call, command, _, _, data = kind
    records = data * 50  # 6000 bytes an array: a leak shows in traced memory at once
    good = list_reply(command, records)
    step = good if outcome == "success" else with_extra(good, b"\x00" * 4)
    repeat = 1000
    connected([step] * (repeat + 50))

    def copy():
        array = call()
        assert (array is not None) == (outcome == "success")

    assert_no_leak(copy, repeat=repeat)


MEMORY_POLICY = r"""
import gc, sys
import velmora5
exe = sys.argv[1]
assert velmora5.initialize(exe) is True, velmora5.last_error()
for _ in range(3):
    ticks = velmora5.copy_ticks_from("EURUSD", 0, 10, 0)
    rates = velmora5.copy_rates_from_pos("EURUSD", 1, 0, 10)
    assert len(ticks) == 2 and len(rates) == 2, velmora5.last_error()
    del ticks, rates
    gc.collect()
velmora5.shutdown()
print("ok")
"""


def test_arrays_are_freed_through_numpys_memory_policy(start_peer):
    # NumPy warns when it frees an array's data without knowing who allocated
    # it; -W error turns such a warning into a failure.
    steps = [list_reply(CMD_TICKS_FROM, TICKS), list_reply(CMD_RATES_FROM_POS, RATES)] * 3
    peer = start_peer(READY + steps)
    env = dict(os.environ, NUMPY_WARN_IF_NO_MEM_POLICY="1")
    done = subprocess.run([sys.executable, "-W", "error", "-c", MEMORY_POLICY, peer.exe],
                          capture_output=True, text=True, env=env, timeout=30)
    assert (done.returncode, done.stdout, done.stderr) == (0, "ok\n", "")

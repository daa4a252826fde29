"""The synthetic market is a function of its seed: two terminals started with
the same seed and clock serve the same ticks and bars; another seed differs."""
import numpy as np
import pytest

import velmora5
from test_terminal_e2e import FROZEN


def market_of(vl5_terminal, seed):
    terminal = vl5_terminal(clock=FROZEN, seed=seed)
    bars = velmora5.copy_rates_from_pos("GBPUSD", velmora5.TIMEFRAME_M5, 0, 2000)
    ticks = velmora5.copy_ticks_range("GBPUSD", FROZEN - 3600, FROZEN, velmora5.COPY_TICKS_ALL)
    assert bars is not None and ticks is not None, velmora5.last_error()
    terminal.stop()
    return bars, ticks


@pytest.mark.parametrize("other_seed, same", [(7, True), (8, False)])
def test_same_seed_same_market(vl5_terminal, other_seed, same):
    bars, ticks = market_of(vl5_terminal, 7)
    other_bars, other_ticks = market_of(vl5_terminal, other_seed)
    assert len(bars) == 2000 and len(ticks) > 100
    assert np.array_equal(bars["time"], other_bars["time"])
    assert np.array_equal(bars, other_bars) == same
    assert (len(ticks) == len(other_ticks) and np.array_equal(ticks, other_ticks)) == same

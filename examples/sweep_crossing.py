"""A moving-average crossing swept over its two averages on local processes.

    python3 examples/sweep_crossing.py [--start 2024-03-04] [--end 2024-03-16] [--heatmap map.png]

``crossing(fast, slow)`` is the strategy factory: a strategy that holds one
EURUSD position, long while the average of the last `fast` closed bars is
above that of the last `slow`, short otherwise. The sweep backtests it for
every pair of the grid, each in a private terminal on a worker process of its
own, and prints the table and the best pair by Sharpe ratio.
"""
import argparse

import velmora5 as vl
from velmora5 import sweep


def crossing(fast, slow, timeframe=vl.TIMEFRAME_H1, symbol="EURUSD"):
    def strategy(vl):
        closes = vl.copy_rates_from_pos(symbol, timeframe, 1, slow)["close"]
        if len(closes) < slow:
            return
        side = vl.POSITION_TYPE_BUY if closes[-fast:].mean() > closes.mean() else vl.POSITION_TYPE_SELL
        held = vl.positions_get(symbol=symbol)
        for position in held:
            if position.type != side:
                vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": symbol, "volume": position.volume,
                               "position": position.ticket,
                               "type": vl.ORDER_TYPE_SELL if position.type == vl.POSITION_TYPE_BUY
                               else vl.ORDER_TYPE_BUY})
        if not any(position.type == side for position in held):
            vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": symbol, "volume": 0.1,
                           "type": vl.ORDER_TYPE_BUY if side == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_SELL})
    return strategy


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--start", default="2024-03-04", help="first moment (UTC)")
    parser.add_argument("--end", default="2024-03-16", help="last moment (UTC)")
    parser.add_argument("--heatmap", help="write the net profit over the grid to this PNG")
    args = parser.parse_args()

    result = sweep.run(crossing, {"fast": [4, 8, 12], "slow": [24, 48]}, symbol="EURUSD",
                       timeframe=vl.TIMEFRAME_H1, start=args.start, end=args.end)
    print(result.table[["fast", "slow", "net_profit", "sharpe", "max_drawdown_pct", "trades", "error"]]
          .to_string(index=False))
    best = result.best("sharpe").iloc[0]
    print(f"best by Sharpe ratio: fast {best['fast']}, slow {best['slow']} ({best['sharpe']:.2f})")
    if args.heatmap:
        result.heatmap("fast", "slow", "net_profit", args.heatmap)


if __name__ == "__main__":  # the sweep's worker processes import this file again
    main()

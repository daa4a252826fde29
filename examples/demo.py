"""A first session: start the bundled simulated terminal, log in, look at the
account and the market, make a small trade, and disconnect."""

import datetime

import velmora5 as vl
from velmora5.terminal import executable_path


def fail(what):
    print(f"{what} failed: {vl.last_error()}")
    vl.shutdown()
    return 1


def main() -> int:
    # The path starts the terminal when it is not running yet; it registers
    # itself, so later scripts can call vl.initialize() without one.
    if not vl.initialize(executable_path(), login=10001, password="demo", server="Velmora-Demo"):
        return fail("initialize")
    print("version:", vl.version())

    terminal = vl.terminal_info()
    print(f"terminal: {terminal.name}, build {terminal.build}, data in {terminal.data_path}")
    account = vl.account_info()
    print(f"account {account.login} on {account.server}: balance {account.balance:.2f} "
          f"{account.currency}, leverage 1:{account.leverage}")

    tick = vl.symbol_info_tick("EURUSD")
    if tick is None:
        return fail("symbol_info_tick")
    when = datetime.datetime.fromtimestamp(tick.time, datetime.timezone.utc)
    print(f"EURUSD at {when:%Y-%m-%d %H:%M:%S} UTC: bid {tick.bid} ask {tick.ask}")

    bars = vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_H1, 0, 5)
    if bars is None:
        return fail("copy_rates_from_pos")
    print("last five H1 bars:")
    for bar in bars:
        opened = datetime.datetime.fromtimestamp(int(bar["time"]), datetime.timezone.utc)
        print(f"  {opened:%Y-%m-%d %H:%M}  O {bar['open']:.5f}  H {bar['high']:.5f}  "
              f"L {bar['low']:.5f}  C {bar['close']:.5f}  ticks {bar['tick_volume']}")

    return trade()


def trade() -> int:
    """Buys 0.01 lot of EURUSD at the market, shows the position, closes it."""
    opened = vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.ORDER_TYPE_BUY,
                            "volume": 0.01, "comment": "demo"})
    if opened is None or opened.retcode != vl.TRADE_RETCODE_DONE:
        return fail(f"buying ({opened.comment if opened else ''})")
    position = vl.positions_get(ticket=opened.order)[0]
    print(f"position {position.ticket}: buy {position.volume} {position.symbol} at {position.price_open}, "
          f"now {position.price_current}, profit {position.profit:.2f}")

    closed = vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.ORDER_TYPE_SELL,
                            "volume": position.volume, "position": position.ticket})
    if closed is None or closed.retcode != vl.TRADE_RETCODE_DONE:
        return fail(f"closing ({closed.comment if closed else ''})")
    deal = vl.history_deals_get(ticket=closed.deal)[0]
    print(f"closed at {deal.price}: profit {deal.profit:.2f}, balance now {vl.account_info().balance:.2f}")

    vl.shutdown()
    return 0


if __name__ == "__main__":
    raise SystemExit(main())

"""Trade requests for the type checker: lines ending in `# wrong` must each be
flagged, every other line must pass (`mypy --strict`)."""
import velmora5 as vl
from velmora5 import OrderRequest
from velmora5.order_request import OrderType

tick = vl.symbol_info_tick("EURUSD")
assert tick is not None
price: float = tick.ask

# Requests a checker must accept: constants, both call forms, the echo of a request.
buy: OrderRequest = {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.ORDER_TYPE_BUY,
                     "volume": 0.1, "price": price, "deviation": 5, "comment": "typed"}
vl.order_send(buy)
vl.order_check(buy)
vl.order_send({"action": vl.TRADE_ACTION_REMOVE, "order": 1234})
vl.order_send(action=vl.TRADE_ACTION_PENDING, symbol="EURUSD", type=vl.ORDER_TYPE_BUY_LIMIT, volume=0.1,
              price=price - 0.01, type_filling=vl.ORDER_FILLING_RETURN, type_time=vl.ORDER_TIME_GTC)
side: OrderType = vl.ORDER_TYPE_BUY if price > 1 else vl.ORDER_TYPE_SELL
vl.order_check({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": side, "volume": 0.1})
sell: vl.OrderRequest = {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.ORDER_TYPE_SELL,
                         "volume": 0.1, "type_filling": vl.ORDER_FILLING_IOC}
vl.order_send(sell)
result = vl.order_send(buy)
if result is not None:
    retcode: int = result.retcode
    sent: int = result.request.type
    again: OrderRequest = {"action": result.request.action, "type": result.request.type,
                           "type_filling": result.request.type_filling, "type_time": result.request.type_time}
margin = vl.order_calc_margin(vl.ORDER_TYPE_BUY, "EURUSD", 0.1, price)

# Mistakes, one a line.
vl.order_send({"action": vl.ORDER_TYPE_SELL, "symbol": "EURUSD", "volume": 0.1})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.TRADE_ACTION_DEAL})  # wrong
vl.order_send({"action": 8, "order": 1234})  # wrong
vl.order_calc_margin(vl.TRADE_ACTION_DEAL, "EURUSD", 0.1, price)  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "volume": 0.1, "Type": vl.ORDER_TYPE_SELL})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "volume": "0.1"})  # wrong
vl.order_check({"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "volume": 0.1, "sl": "1.05"})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "type": vl.POSITION_TYPE_SELL + 1})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "type": vl.ORDER_TYPE_CLOSE_BY})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "type_filling": vl.ORDER_TIME_SPECIFIED_DAY})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "symbol": b"EURUSD"})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_REMOVE, "order": "1234"})  # wrong
vl.order_send({"action": vl.TRADE_ACTION_DEAL, "expiration": 1.5})  # wrong
vl.order_send(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", volume=0.1, Type=vl.ORDER_TYPE_SELL)  # wrong
vl.order_check(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", volume="0.1")  # wrong
vl.order_send(buy, comment="both forms")  # wrong
loose = {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "volume": 0.1}
vl.order_send(loose)  # wrong
vl.order_send(result)  # wrong
wrong_result: str = vl.order_send(buy)  # wrong

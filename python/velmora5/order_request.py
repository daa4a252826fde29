"""The keys of a trade request as ``order_send`` and ``order_check`` take them.

``OrderRequest`` lets a type checker catch a misspelt key (``"Type"``) or a
value of the wrong type (a str volume) before the request reaches the
terminal, which would take a missing key as 0: a request without ``type``
is a BUY. Every key is optional, as for the terminal.

Annotate a request kept in a variable, so the checker reads it as one::

    request: OrderRequest = {"action": TRADE_ACTION_DEAL, "symbol": "EURUSD",
                             "type": ORDER_TYPE_SELL, "volume": 0.1}

The literal types list the values of the ``TRADE_ACTION_*``, ``ORDER_TYPE_*``
(those a request may carry), ``ORDER_FILLING_*`` and ``ORDER_TIME_*``
constants; those constants are declared ``Final``, so they type as these
literals.
"""
from typing import Literal, TypedDict

__all__ = ["OrderRequest", "TradeAction", "OrderType", "OrderFilling", "OrderTime"]

TradeAction = Literal[1, 5, 6, 7, 8, 10]
OrderType = Literal[0, 1, 2, 3, 4, 5, 6, 7]
OrderFilling = Literal[0, 1, 2]
OrderTime = Literal[0, 1, 2, 3]


class OrderRequest(TypedDict, total=False):
    """A trade request: the keys ``order_send`` and ``order_check`` read."""

    action: TradeAction
    magic: int
    order: int
    symbol: str
    volume: float
    price: float
    stoplimit: float
    sl: float
    tp: float
    deviation: int
    type: OrderType
    type_filling: OrderFilling
    type_time: OrderTime
    expiration: int
    comment: str
    position: int
    position_by: int

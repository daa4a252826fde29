"""The keys of a trade request as ``order_send`` and ``order_check`` take them.

``OrderRequest`` lets a type checker catch a misspelt key (``"Type"``) or a
value of the wrong type (a str volume) before the request reaches the
terminal, which would take a missing key as 0: a request without ``type``
is a BUY. Every key is optional, as for the terminal.

Annotate a request kept in a variable, so the checker reads it as one::

    request: OrderRequest = {"action": TRADE_ACTION_DEAL, "symbol": "EURUSD",
                             "type": ORDER_TYPE_SELL, "volume": 0.1}

``action``, ``type``, ``type_filling`` and ``type_time`` take the types of
their constants' families (``TradeAction``, ``OrderType``, ``OrderFilling``,
``OrderTime``, declared with the constants): an order type in ``action`` or
an action in ``type`` is flagged although the numbers coincide, and so is a
bare number.
"""
from typing import TypedDict

from velmora5.constants import OrderFilling, OrderTime, OrderType, TradeAction

__all__ = ["OrderRequest", "TradeAction", "OrderType", "OrderFilling", "OrderTime"]


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

"""Drive a running Velmora 5 terminal: market data, account and trading."""

from velmora5 import _core
from velmora5._core import *  # noqa: F401,F403
from velmora5.constants import *  # noqa: F401,F403
from velmora5 import constants as _constants
from velmora5.constants import OrderFilling as OrderFilling, OrderTime as OrderTime
from velmora5.constants import OrderType as OrderType, TradeAction as TradeAction
from velmora5.order_request import OrderRequest as OrderRequest

__doc__ = _core.__doc__
__all__ = ([name for name in dir(_core) if not name.startswith("_")]
           + [name for name in dir(_constants) if name.isupper()]
           + ["OrderRequest", "TradeAction", "OrderType", "OrderFilling", "OrderTime"])
del _core

"""The module's method table: every function, in order, with its calling
convention and docstring, and nothing else exported by the library."""
import shutil
import subprocess

import pytest

import velmora5
import velmora5._core as core

pytestmark = pytest.mark.numpy_runtime

# name, calling convention, signature line, summary line
TABLE = [
    ("initialize", "keywords", 'initialize([path],[server="SERVER"],[login=LOGIN],[password="PASSWORD"])',
     "Establish connection to Velmora 5 terminal"),
    ("shutdown", "none", "shutdown()",
     "Disconnect from Velmora 5 terminal"),
    ("login", "keywords", 'login(login,[server="SERVER"],[password="PASSWORD"])',
     "Log in to specific account"),
    ("version", "none", "version()",
     "Get Velmora 5 terminal version"),
    ("terminal_info", "none", "terminal_info()",
     "Get parameters of Velmora 5 terminal"),
    ("account_info", "none", "account_info()",
     "Return information on the current account"),
    ("copy_ticks_from", "args", "copy_ticks_from(symbol, date_from, count, flags)",
     "Get ticks starting from specific date"),
    ("copy_ticks_range", "args", "copy_ticks_range(symbol, date_from, date_to, flags)",
     "Get ticks from specified period"),
    ("copy_rates_from", "args", "copy_rates_from(symbol, timeframe, date_from, count)",
     "Get bars starting from specific date"),
    ("copy_rates_from_pos", "args", "copy_rates_from_pos(symbol, timeframe, start_pos, count)",
     "Get bars starting from specified position"),
    ("copy_rates_range", "args", "copy_rates_range(symbol, timeframe, date_from, date_to)",
     "Get bars from specified period"),
    ("positions_total", "none", "positions_total()",
     "Return the number of open positions"),
    ("positions_get", "keywords", 'positions_get([symbol="SYMBOL"],[ticket=TICKET],[group="GROUP"])',
     "Return all open positions, can be filtered by symbol, group or ticket"),
    ("orders_total", "none", "orders_total()",
     "Return the number of orders"),
    ("orders_get", "keywords", 'orders_get([symbol="SYMBOL"],[ticket=TICKET],[group="GROUP"])',
     "Return all orders, can be filtered by symbol, group or ticket"),
    ("history_orders_total", "args", "history_orders_total(date_from, date_to)",
     "Return the number of orders in selected range from history"),
    ("history_orders_get", "keywords", 'history_orders_get([date_from, date_to, [group="GROUP"]],[position=POSITION],[ticket=TICKET])',
     "Return orders in selected range from history or filtered by position id, ticket"),
    ("history_deals_total", "args", "history_deals_total(date_from, date_to)",
     "Return the number of deals in selected range from history"),
    ("history_deals_get", "keywords", 'history_deals_get([date_from, date_to, [group="GROUP"]],[position=POSITION],[ticket=TICKET])',
     "Return deals in selected range from history or filtered by position id, ticket"),
    ("order_check", "keywords", "order_check(request)",
     "Check if there are enough funds to execute required trading operation"),
    ("order_send", "keywords", "order_send(request)",
     "Send trading requests to server"),
    ("order_calc_margin", "args", "order_calc_margin(action, symbol, volume, price,)",
     "Calculate margin required for specified order"),
    ("order_calc_profit", "args", "order_calc_profit(action, symbol, volume, price_open, price_close)",
     "Calculate profit for the current account in the current market conditions based on parameters passed"),
    ("symbol_info", "args", "symbol_info(symbol)",
     "Return full information for specified symbol"),
    ("symbol_info_tick", "args", "symbol_info_tick(symbol)",
     "Return current prices of specified symbol"),
    ("symbol_select", "args", "symbol_select(symbol,[enable])",
     "Select symbol in Market Watch window or remove symbol from the window"),
    ("symbols_total", "none", "symbols_total()",
     "Return the number of all available symbols"),
    ("symbols_get", "keywords", 'symbols_get([group="GROUP"])',
     "Return all available symbols or filtred by group"),
    ("market_book_add", "args", "market_book_add(symbol)",
     "Opens Depth of Market for a selected symbol"),
    ("market_book_release", "args", "market_book_release(symbol)",
     "Closes Depth of Market for a selected symbol"),
    ("market_book_get", "args", "market_book_get(symbol)",
     "Returns Depth of Market structures of a specified symbol"),
    ("last_error", "none", "last_error()",
     "Return last error code and description"),
]


def test_functions_in_table_order():
    functions = [name for name, value in vars(core).items()
                 if callable(value) and not isinstance(value, type)]
    assert functions == [name for name, *_ in TABLE]
    assert len(functions) == 32


@pytest.mark.parametrize("name, convention, signature, summary", TABLE)
def test_docstring_and_calling_convention(name, convention, signature, summary):
    function = getattr(velmora5, name)
    assert function.__doc__ == f"{signature}\n\n{summary}"
    if convention == "none":
        with pytest.raises(TypeError):
            function(1)
    elif convention == "args":
        # The interpreter refuses keywords before the function runs.
        with pytest.raises(TypeError):
            function(unknown=1)
    else:
        # Unknown keywords are accepted and ignored, never a TypeError.
        function(unknown_keyword=1)


@pytest.mark.skipif(shutil.which("nm") is None, reason="nm is not installed")
def test_only_the_init_function_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", core.__file__], capture_output=True, text=True,
                         check=True).stdout
    functions = [line.split()[-1] for line in out.splitlines() if line.split()[-2:-1] in (["T"], ["W"], ["i"])]
    assert functions == ["PyInit__core"]

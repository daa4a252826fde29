"""The module's face at import: docstrings, calling conventions, the result
types and their _asdict."""
import subprocess
import sys

import pytest

import velmora5
from conftest import run_python

pytestmark = pytest.mark.numpy_runtime

FIELDS = {
    "TradePosition": (
        "Trade position structure",
        "ticket time time_msc time_update time_update_msc type magic identifier reason volume "
        "price_open sl tp price_current swap profit symbol comment external_id"),
    "TradeOrder": (
        "Trade order structure",
        "ticket time_setup time_setup_msc time_done time_done_msc time_expiration type type_time "
        "type_filling state magic position_id position_by_id reason volume_initial volume_current "
        "price_open sl tp price_current price_stoplimit symbol comment external_id"),
    "TradeDeal": (
        "Trade deal structure",
        "ticket order time time_msc type entry magic position_id reason volume price commission "
        "swap profit fee symbol comment external_id"),
    "TradeRequest": (
        "Trade request structure",
        "action magic order symbol volume price stoplimit sl tp deviation type type_filling "
        "type_time expiration comment position position_by"),
    "OrderSendResult": (
        "order_send result structure",
        "retcode deal order volume price bid ask comment request_id retcode_external request"),
    "OrderCheckResult": (
        "order_check result structure",
        "retcode balance equity profit margin margin_free margin_level comment request"),
    "Tick": (
        "This is a structure for storing latest symbol prices",
        "time bid ask last volume time_msc flags volume_real"),
    "TerminalInfo": (
        "This is a structure for storing terminal information",
        "community_account community_connection connected dlls_allowed trade_allowed "
        "tradeapi_disabled email_enabled ftp_enabled notifications_enabled obid build maxbars "
        "codepage ping_last community_balance retransmission company name language path data_path "
        "commondata_path"),
    "SymbolInfo": (
        "This is a structure for storing symbol information",
        "custom chart_mode select visible session_deals session_buy_orders session_sell_orders "
        "volume volumehigh volumelow time digits spread spread_float ticks_bookdepth "
        "trade_calc_mode trade_mode start_time expiration_time trade_stops_level "
        "trade_freeze_level trade_exemode swap_mode swap_rollover3days margin_hedged_use_leg "
        "expiration_mode filling_mode order_mode order_gtc_mode option_mode option_right bid "
        "bidhigh bidlow ask askhigh asklow last lasthigh lastlow volume_real volumehigh_real "
        "volumelow_real option_strike point trade_tick_value trade_tick_value_profit "
        "trade_tick_value_loss trade_tick_size trade_contract_size trade_accrued_interest "
        "trade_face_value trade_liquidity_rate volume_min volume_max volume_step volume_limit "
        "swap_long swap_short margin_initial margin_maintenance session_volume session_turnover "
        "session_interest session_buy_orders_volume session_sell_orders_volume session_open "
        "session_close session_aw session_price_settlement session_price_limit_min "
        "session_price_limit_max margin_hedged price_change price_volatility price_theoretical "
        "price_greeks_delta price_greeks_theta price_greeks_gamma price_greeks_vega "
        "price_greeks_rho price_greeks_omega price_sensitivity basis category currency_base "
        "currency_profit currency_margin bank description exchange formula isin name page path"),
    "AccountInfo": (
        "This is a structure for storing account information",
        "login trade_mode leverage limit_orders margin_so_mode trade_allowed trade_expert "
        "margin_mode currency_digits fifo_close balance credit profit equity margin margin_free "
        "margin_level margin_so_call margin_so_so margin_initial margin_maintenance assets "
        "liabilities commission_blocked name server currency company"),
    "BookInfo": (
        "This is a structure for storing Depth of Market information",
        "type price volume volume_dbl"),
}
FIELD_COUNTS = {"TradePosition": 19, "TradeOrder": 24, "TradeDeal": 18, "TradeRequest": 17,
                "OrderSendResult": 11, "OrderCheckResult": 9, "Tick": 8, "TerminalInfo": 22,
                "SymbolInfo": 96, "AccountInfo": 28, "BookInfo": 4}


def make(type_name, values=None):
    """An instance of a result type filled with distinct values."""
    result_type = getattr(velmora5, type_name)
    return result_type(values if values is not None else [f"v{i}" for i in range(result_type.n_fields)])


def test_last_error_is_empty_in_a_fresh_interpreter():
    out = run_python("import velmora5; print(repr(velmora5.last_error())); print(repr(velmora5.last_error()))")
    assert out.splitlines() == ["(0, '')", "(0, '')"]


def test_module_docstring():
    import velmora5._core as core

    assert core.__doc__ == "API Connector to Velmora 5 Terminal"
    assert velmora5.__doc__ == core.__doc__


@pytest.mark.parametrize("name, signature, summary", [
    ("initialize", 'initialize([path],[server="SERVER"],[login=LOGIN],[password="PASSWORD"])',
     "Establish connection to Velmora 5 terminal"),
    ("shutdown", "shutdown()", "Disconnect from Velmora 5 terminal"),
    ("login", 'login(login,[server="SERVER"],[password="PASSWORD"])', "Log in to specific account"),
    ("version", "version()", "Get Velmora 5 terminal version"),
    ("last_error", "last_error()", "Return last error code and description"),
])
def test_function_docstrings(name, signature, summary):
    assert getattr(velmora5, name).__doc__ == f"{signature}\n\n{summary}"


@pytest.mark.parametrize("name", ["shutdown", "version", "last_error"])
def test_functions_without_arguments_refuse_them_before_running(name):
    velmora5.version()  # leaves (-10004, ...) behind
    before = velmora5.last_error()
    with pytest.raises(TypeError):
        getattr(velmora5, name)(1)
    assert velmora5.last_error() == before


def test_result_types_are_registered_with_asdict():
    for name, (doc, fields) in FIELDS.items():
        result_type = getattr(velmora5, name)
        assert result_type.__name__ == name
        assert result_type.__doc__ == doc
        assert result_type.n_fields == result_type.n_sequence_fields == FIELD_COUNTS[name]
        assert "_asdict" in vars(result_type), name
        assert result_type._asdict.__doc__ == "Convert named tuple object to dictionary"
        assert len(fields.split()) == FIELD_COUNTS[name]


@pytest.mark.parametrize("name", list(FIELDS))
def test_asdict_keys_in_field_order(name):
    value = make(name)
    assert len(value) == FIELD_COUNTS[name]
    as_dict = value._asdict()
    assert type(as_dict) is dict
    assert list(as_dict) == FIELDS[name][1].split()
    assert list(as_dict.values()) == list(value)


def test_terminal_info_has_obid_tenth():
    assert list(make("TerminalInfo")._asdict())[9] == "obid"


@pytest.mark.parametrize("name", ["OrderSendResult", "OrderCheckResult"])
def test_asdict_keeps_the_nested_request_a_named_tuple(name):
    request = make("TradeRequest")
    count = FIELD_COUNTS[name]
    result = make(name, list(range(count - 1)) + [request])
    as_dict = result._asdict()
    assert len(as_dict) == count
    assert as_dict["request"] is request
    assert list(as_dict["request"]._asdict()) == FIELDS["TradeRequest"][1].split()


def test_asdict_leaves_the_last_error_as_it_was():
    assert velmora5.version() == (0, 0, "")
    failure = velmora5.last_error()
    assert failure == (-10004, "No IPC connection")
    make("Tick")._asdict()
    make("OrderSendResult")._asdict()
    assert velmora5.last_error() == failure


@pytest.mark.parametrize("wrong", [object(), (1, 2, 3), "text"])
def test_asdict_on_a_foreign_object_is_refused_by_the_interpreter(wrong):
    # The method descriptor is bound to its type, so the interpreter refuses a
    # foreign `self` before the module sees it; the module's own "Invalid
    # object type" and "Invalid tuple size" paths are not reachable from Python.
    velmora5.version()
    before = velmora5.last_error()
    with pytest.raises(TypeError):
        velmora5.Tick._asdict(wrong)
    with pytest.raises(TypeError):
        velmora5.TradeRequest._asdict(make("Tick"))
    assert velmora5.last_error() == before


def test_result_types_print_as_struct_sequences():
    tick = velmora5.Tick((1, 1.5, 1.75, 0.0, 10, 1000, 6, 10.5))
    assert repr(tick) == ("Tick(time=1, bid=1.5, ask=1.75, last=0.0, volume=10, time_msc=1000, "
                          "flags=6, volume_real=10.5)")
    assert str(velmora5.BookInfo((1, 2.0, 3, 3.0))) == "BookInfo(type=1, price=2.0, volume=3, volume_dbl=3.0)"


@pytest.mark.parametrize("fault", ["result_types", "record_dtypes"])
def test_a_failed_set_up_step_fails_the_import(monkeypatch, fault):
    monkeypatch.setenv("VL5_INJECT_FAULT", fault)
    done = subprocess.run([sys.executable, "-c", "import velmora5"], capture_output=True, text=True, timeout=60)
    assert done.returncode == 1
    assert done.stderr.rstrip().endswith("MemoryError"), done.stderr


def test_an_exception_inside_a_call_becomes_a_failure_code(monkeypatch, tmp_path):
    # Every C++ allocation of the module throws std::bad_alloc; the call that
    # meets one answers with a code and the interpreter goes on.
    monkeypatch.setenv("VL5_INJECT_FAULT", "allocation")
    out = run_python("import sys, velmora5\n"
                     "print(velmora5.initialize(sys.argv[1]), velmora5.last_error())\n"
                     "print(velmora5.symbol_info_tick('EURUSD'), velmora5.last_error())",
                     str(tmp_path / "a-long-folder-name" / "terminal64"))
    assert out.splitlines() == ["False (-3, 'No memory')", "None (-10004, 'No IPC connection')"]

// Assembles the module: the method table, the result types and the record
// dtypes. PyInit__core is the library's only export.
#include <Python.h>

#include "src/session/session.h"
#include "src/market/book.h"
#include "src/market/info.h"
#include "src/market/rates.h"
#include "src/market/symbols.h"
#include "src/module/args.h"
#include "src/module/entry_guard.h"
#include "src/module/fault_injection.h"
#include "src/module/interrupt.h"
#include "src/module/last_error.h"
#include "src/module/numpy_api.h"
#include "src/module/record_arrays.h"
#include "src/module/record_tuples.h"
#include "src/module/result_types.h"
#include "src/trading/calc.h"
#include "src/trading/history.h"
#include "src/trading/positions.h"
#include "src/trading/requests.h"

namespace vl5::py {

namespace {

// A function of the table, called through the exception boundary.
template <auto F, Failure kFailure = Failure::kNone, bool kReset = true>
constexpr PyCFunction Entry() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&Guarded<F, kFailure, kReset>::Call));
}

PyMethodDef g_methods[] = {
    {"initialize", Entry<link::PyInitialize, Failure::kFalse>(), METH_VARARGS | METH_KEYWORDS,
     "initialize([path],[server=\"SERVER\"],[login=LOGIN],[password=\"PASSWORD\"])\n\n"
     "Establish connection to Velmora 5 terminal"},
    {"shutdown", Entry<link::PyShutdown>(), METH_NOARGS, "shutdown()\n\nDisconnect from Velmora 5 terminal"},
    {"login", Entry<link::PyLogin, Failure::kFalse>(), METH_VARARGS | METH_KEYWORDS,
     "login(login,[server=\"SERVER\"],[password=\"PASSWORD\"])\n\nLog in to specific account"},
    {"version", Entry<link::PyVersion>(), METH_NOARGS, "version()\n\nGet Velmora 5 terminal version"},
    {"terminal_info", Entry<market::PyTerminalInfo>(), METH_NOARGS, "terminal_info()\n\nGet parameters of Velmora 5 terminal"},
    {"account_info", Entry<market::PyAccountInfo>(), METH_NOARGS,
     "account_info()\n\nReturn information on the current account"},
    {"copy_ticks_from", Entry<market::PyCopyTicksFrom>(), METH_VARARGS,
     "copy_ticks_from(symbol, date_from, count, flags)\n\nGet ticks starting from specific date"},
    {"copy_ticks_range", Entry<market::PyCopyTicksRange>(), METH_VARARGS,
     "copy_ticks_range(symbol, date_from, date_to, flags)\n\nGet ticks from specified period"},
    {"copy_rates_from", Entry<market::PyCopyRatesFrom>(), METH_VARARGS,
     "copy_rates_from(symbol, timeframe, date_from, count)\n\nGet bars starting from specific date"},
    {"copy_rates_from_pos", Entry<market::PyCopyRatesFromPos>(), METH_VARARGS,
     "copy_rates_from_pos(symbol, timeframe, start_pos, count)\n\nGet bars starting from specified position"},
    {"copy_rates_range", Entry<market::PyCopyRatesRange>(), METH_VARARGS,
     "copy_rates_range(symbol, timeframe, date_from, date_to)\n\nGet bars from specified period"},
    {"positions_total", Entry<trading::PyPositionsTotal>(), METH_NOARGS,
     "positions_total()\n\nReturn the number of open positions"},
    {"positions_get", Entry<trading::PyPositionsGet>(), METH_VARARGS | METH_KEYWORDS,
     "positions_get([symbol=\"SYMBOL\"],[ticket=TICKET],[group=\"GROUP\"])\n\n"
     "Return all open positions, can be filtered by symbol, group or ticket"},
    {"orders_total", Entry<trading::PyOrdersTotal>(), METH_NOARGS, "orders_total()\n\nReturn the number of orders"},
    {"orders_get", Entry<trading::PyOrdersGet>(), METH_VARARGS | METH_KEYWORDS,
     "orders_get([symbol=\"SYMBOL\"],[ticket=TICKET],[group=\"GROUP\"])\n\n"
     "Return all orders, can be filtered by symbol, group or ticket"},
    {"history_orders_total", Entry<trading::PyHistoryOrdersTotal>(), METH_VARARGS,
     "history_orders_total(date_from, date_to)\n\nReturn the number of orders in selected range from history"},
    {"history_orders_get", Entry<trading::PyHistoryOrdersGet>(), METH_VARARGS | METH_KEYWORDS,
     "history_orders_get([date_from, date_to, [group=\"GROUP\"]],[position=POSITION],[ticket=TICKET])\n\n"
     "Return orders in selected range from history or filtered by position id, ticket"},
    {"history_deals_total", Entry<trading::PyHistoryDealsTotal>(), METH_VARARGS,
     "history_deals_total(date_from, date_to)\n\nReturn the number of deals in selected range from history"},
    {"history_deals_get", Entry<trading::PyHistoryDealsGet>(), METH_VARARGS | METH_KEYWORDS,
     "history_deals_get([date_from, date_to, [group=\"GROUP\"]],[position=POSITION],[ticket=TICKET])\n\n"
     "Return deals in selected range from history or filtered by position id, ticket"},
    {"order_check", Entry<trading::PyOrderCheck>(), METH_VARARGS | METH_KEYWORDS,
     "order_check(request)\n\nCheck if there are enough funds to execute required trading operation"},
    {"order_send", Entry<trading::PyOrderSend>(), METH_VARARGS | METH_KEYWORDS,
     "order_send(request)\n\nSend trading requests to server"},
    {"order_calc_margin", Entry<trading::PyOrderCalcMargin>(), METH_VARARGS,
     "order_calc_margin(action, symbol, volume, price,)\n\nCalculate margin required for specified order"},
    {"order_calc_profit", Entry<trading::PyOrderCalcProfit>(), METH_VARARGS,
     "order_calc_profit(action, symbol, volume, price_open, price_close)\n\n"
     "Calculate profit for the current account in the current market conditions based on parameters passed"},
    {"symbol_info", Entry<market::PySymbolInfo>(), METH_VARARGS,
     "symbol_info(symbol)\n\nReturn full information for specified symbol"},
    {"symbol_info_tick", Entry<market::PySymbolInfoTick>(), METH_VARARGS,
     "symbol_info_tick(symbol)\n\nReturn current prices of specified symbol"},
    {"symbol_select", Entry<market::PySymbolSelect, Failure::kFalse>(), METH_VARARGS,
     "symbol_select(symbol,[enable])\n\nSelect symbol in Market Watch window or remove symbol from the window"},
    {"symbols_total", Entry<market::PySymbolsTotal>(), METH_NOARGS,
     "symbols_total()\n\nReturn the number of all available symbols"},
    {"symbols_get", Entry<market::PySymbolsGet>(), METH_VARARGS | METH_KEYWORDS,
     "symbols_get([group=\"GROUP\"])\n\nReturn all available symbols or filtred by group"},
    {"market_book_add", Entry<market::PyMarketBookAdd, Failure::kFalse>(), METH_VARARGS,
     "market_book_add(symbol)\n\nOpens Depth of Market for a selected symbol"},
    {"market_book_release", Entry<market::PyMarketBookRelease, Failure::kFalse>(), METH_VARARGS,
     "market_book_release(symbol)\n\nCloses Depth of Market for a selected symbol"},
    {"market_book_get", Entry<market::PyMarketBookGet>(), METH_VARARGS,
     "market_book_get(symbol)\n\nReturns Depth of Market structures of a specified symbol"},
    // The one function that leaves the last error as it is.
    {"last_error", Entry<PyLastError, Failure::kNone, false>(), METH_NOARGS,
     "last_error()\n\nReturn last error code and description"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT, "_core", "API Connector to Velmora 5 Terminal", -1, g_methods,
    nullptr, nullptr, nullptr, nullptr,
};

// Every step must succeed, or the import fails with the step's exception
// instead of leaving a half-built module.
int ExecModule(PyObject* module) {
  // Date arguments need the datetime type; without it the module cannot work.
  if (!ImportDateTimeApi()) return -1;
  if (!ImportNumpy()) return -1;
  if (BuildRecordDtypes() < 0 || PrepareRecordTuples() < 0) return -1;
  return RegisterResultTypes(module);
}

}  // namespace

PyObject* CreateModule() {
  ArmFaultFromEnvironment();
  PyObject* module = PyModule_Create2(&g_module, PYTHON_API_VERSION);
  if (module == nullptr) return nullptr;
  if (ExecModule(module) < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  InstallInterruptCheck();
  return module;
}

}  // namespace vl5::py

PyMODINIT_FUNC PyInit__core() { return vl5::py::CreateModule(); }

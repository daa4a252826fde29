// Assembles the module: the method table, the result types and the record
// dtypes. PyInit__core is the library's only export.
#include <Python.h>

#include "src/session/session.h"
#include "src/link/carrier.h"
#include "src/link/channel.h"
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
#include "src/module/pyref.h"
#include "src/module/record_arrays.h"
#include "src/module/record_tuples.h"
#include "src/module/result_types.h"
#include "src/trading/calc.h"
#include "src/trading/history.h"
#include "src/trading/positions.h"
#include "src/trading/requests.h"

namespace vl5::py {

namespace {

// Table entries, each through its adaptor of the exception boundary; the
// adaptor and the flags come together.
template <NoArgsFunction F, Failure kFailure = Failure::kNone, bool kReset = true>
constexpr PyMethodDef NoArgs(const char* name, const char* doc) {
  return {name, CallNoArgs<F, kFailure, kReset>, METH_NOARGS, doc};
}

template <ArgsFunction F, Failure kFailure = Failure::kNone>
constexpr PyMethodDef Positional(const char* name, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(CallPositional<F, kFailure>)), METH_FASTCALL,
          doc};
}

template <ArgsFunction F, Failure kFailure = Failure::kNone>
constexpr PyMethodDef WithKeywords(const char* name, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(CallWithKeywords<F, kFailure>)),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

PyMethodDef g_methods[] = {
    WithKeywords<link::PyInitialize, Failure::kFalse>(
        "initialize",
        "initialize([path],[server=\"SERVER\"],[login=LOGIN],[password=\"PASSWORD\"])\n\n"
        "Establish connection to Velmora 5 terminal"),
    NoArgs<link::PyShutdown>("shutdown", "shutdown()\n\nDisconnect from Velmora 5 terminal"),
    WithKeywords<link::PyLogin, Failure::kFalse>(
        "login", "login(login,[server=\"SERVER\"],[password=\"PASSWORD\"])\n\nLog in to specific account"),
    NoArgs<link::PyVersion>("version", "version()\n\nGet Velmora 5 terminal version"),
    NoArgs<market::PyTerminalInfo>("terminal_info", "terminal_info()\n\nGet parameters of Velmora 5 terminal"),
    NoArgs<market::PyAccountInfo>("account_info", "account_info()\n\nReturn information on the current account"),
    Positional<market::PyCopyTicksFrom>(
        "copy_ticks_from", "copy_ticks_from(symbol, date_from, count, flags)\n\nGet ticks starting from specific date"),
    Positional<market::PyCopyTicksRange>(
        "copy_ticks_range", "copy_ticks_range(symbol, date_from, date_to, flags)\n\nGet ticks from specified period"),
    Positional<market::PyCopyRatesFrom>(
        "copy_rates_from",
        "copy_rates_from(symbol, timeframe, date_from, count)\n\nGet bars starting from specific date"),
    Positional<market::PyCopyRatesFromPos>(
        "copy_rates_from_pos",
        "copy_rates_from_pos(symbol, timeframe, start_pos, count)\n\nGet bars starting from specified position"),
    Positional<market::PyCopyRatesRange>(
        "copy_rates_range",
        "copy_rates_range(symbol, timeframe, date_from, date_to)\n\nGet bars from specified period"),
    NoArgs<trading::PyPositionsTotal>("positions_total", "positions_total()\n\nReturn the number of open positions"),
    WithKeywords<trading::PyPositionsGet>("positions_get",
                                          "positions_get([symbol=\"SYMBOL\"],[ticket=TICKET],[group=\"GROUP\"])\n\n"
                                          "Return all open positions, can be filtered by symbol, group or ticket"),
    NoArgs<trading::PyOrdersTotal>("orders_total", "orders_total()\n\nReturn the number of orders"),
    WithKeywords<trading::PyOrdersGet>("orders_get",
                                       "orders_get([symbol=\"SYMBOL\"],[ticket=TICKET],[group=\"GROUP\"])\n\n"
                                       "Return all orders, can be filtered by symbol, group or ticket"),
    Positional<trading::PyHistoryOrdersTotal>(
        "history_orders_total",
        "history_orders_total(date_from, date_to)\n\nReturn the number of orders in selected range from history"),
    WithKeywords<trading::PyHistoryOrdersGet>(
        "history_orders_get",
        "history_orders_get([date_from, date_to, [group=\"GROUP\"]],[position=POSITION],[ticket=TICKET])\n\n"
        "Return orders in selected range from history or filtered by position id, ticket"),
    Positional<trading::PyHistoryDealsTotal>(
        "history_deals_total",
        "history_deals_total(date_from, date_to)\n\nReturn the number of deals in selected range from history"),
    WithKeywords<trading::PyHistoryDealsGet>(
        "history_deals_get",
        "history_deals_get([date_from, date_to, [group=\"GROUP\"]],[position=POSITION],[ticket=TICKET])\n\n"
        "Return deals in selected range from history or filtered by position id, ticket"),
    WithKeywords<trading::PyOrderCheck>(
        "order_check", "order_check(request)\n\nCheck if there are enough funds to execute required trading operation"),
    WithKeywords<trading::PyOrderSend>("order_send", "order_send(request)\n\nSend trading requests to server"),
    Positional<trading::PyOrderCalcMargin>(
        "order_calc_margin",
        "order_calc_margin(action, symbol, volume, price,)\n\nCalculate margin required for specified order"),
    Positional<trading::PyOrderCalcProfit>(
        "order_calc_profit",
        "order_calc_profit(action, symbol, volume, price_open, price_close)\n\n"
        "Calculate profit for the current account in the current market conditions based on parameters passed"),
    Positional<market::PySymbolInfo>("symbol_info",
                                     "symbol_info(symbol)\n\nReturn full information for specified symbol"),
    Positional<market::PySymbolInfoTick>("symbol_info_tick",
                                         "symbol_info_tick(symbol)\n\nReturn current prices of specified symbol"),
    Positional<market::PySymbolSelect, Failure::kFalse>(
        "symbol_select",
        "symbol_select(symbol,[enable])\n\nSelect symbol in Market Watch window or remove symbol from the window"),
    NoArgs<market::PySymbolsTotal>("symbols_total", "symbols_total()\n\nReturn the number of all available symbols"),
    WithKeywords<market::PySymbolsGet>(
        "symbols_get", "symbols_get([group=\"GROUP\"])\n\nReturn all available symbols or filtred by group"),
    Positional<market::PyMarketBookAdd, Failure::kFalse>(
        "market_book_add", "market_book_add(symbol)\n\nOpens Depth of Market for a selected symbol"),
    Positional<market::PyMarketBookRelease, Failure::kFalse>(
        "market_book_release", "market_book_release(symbol)\n\nCloses Depth of Market for a selected symbol"),
    Positional<market::PyMarketBookGet>(
        "market_book_get", "market_book_get(symbol)\n\nReturns Depth of Market structures of a specified symbol"),
    // The one function that leaves the last error as it is.
    NoArgs<PyLastError, Failure::kNone, false>("last_error", "last_error()\n\nReturn last error code and description"),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT,
    "_core",
    "API Connector to Velmora 5 Terminal",
    -1,
    g_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The engine's private way in (velmora5.sim.embedded): a capsule, not a
// function, so the module's functions stay those of the terminal's API.
int AddCarrierHook(PyObject* module) {
  PyRef capsule =
      PyRef::Steal(PyCapsule_New(const_cast<link::CarrierApi*>(link::CarrierHooks()), link::kCarrierCapsule, nullptr));
  if (!capsule) return -1;
  if (PyModule_AddObject(module, "_carrier_api", capsule.get()) < 0) return -1;
  capsule.release();  // the module holds it now
  return 0;
}

// Every step must succeed, or the import fails with the step's exception
// instead of leaving a half-built module.
int ExecModule(PyObject* module) {
  // Date arguments need the datetime type; without it the module cannot work.
  if (!ImportDateTimeApi()) return -1;
  if (!ImportNumpy()) return -1;
  if (BuildRecordDtypes() < 0 || PrepareRecordTuples() < 0) return -1;
  if (AddCarrierHook(module) < 0) return -1;
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

#include "src/module/result_types.h"

#include "src/module/last_error.h"
#include "src/wire/status.h"

namespace vl5::py {

namespace {

PyStructSequence_Field kTradePositionFields[] = {
    {"ticket", nullptr}, {"time", nullptr}, {"time_msc", nullptr}, {"time_update", nullptr},
    {"time_update_msc", nullptr}, {"type", nullptr}, {"magic", nullptr}, {"identifier", nullptr},
    {"reason", nullptr}, {"volume", nullptr}, {"price_open", nullptr}, {"sl", nullptr},
    {"tp", nullptr}, {"price_current", nullptr}, {"swap", nullptr}, {"profit", nullptr},
    {"symbol", nullptr}, {"comment", nullptr}, {"external_id", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kTradeOrderFields[] = {
    {"ticket", nullptr}, {"time_setup", nullptr}, {"time_setup_msc", nullptr},
    {"time_done", nullptr}, {"time_done_msc", nullptr}, {"time_expiration", nullptr},
    {"type", nullptr}, {"type_time", nullptr}, {"type_filling", nullptr}, {"state", nullptr},
    {"magic", nullptr}, {"position_id", nullptr}, {"position_by_id", nullptr}, {"reason", nullptr},
    {"volume_initial", nullptr}, {"volume_current", nullptr}, {"price_open", nullptr},
    {"sl", nullptr}, {"tp", nullptr}, {"price_current", nullptr}, {"price_stoplimit", nullptr},
    {"symbol", nullptr}, {"comment", nullptr}, {"external_id", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kTradeDealFields[] = {
    {"ticket", nullptr}, {"order", nullptr}, {"time", nullptr}, {"time_msc", nullptr},
    {"type", nullptr}, {"entry", nullptr}, {"magic", nullptr}, {"position_id", nullptr},
    {"reason", nullptr}, {"volume", nullptr}, {"price", nullptr}, {"commission", nullptr},
    {"swap", nullptr}, {"profit", nullptr}, {"fee", nullptr}, {"symbol", nullptr},
    {"comment", nullptr}, {"external_id", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kTradeRequestFields[] = {
    {"action", nullptr}, {"magic", nullptr}, {"order", nullptr}, {"symbol", nullptr},
    {"volume", nullptr}, {"price", nullptr}, {"stoplimit", nullptr}, {"sl", nullptr},
    {"tp", nullptr}, {"deviation", nullptr}, {"type", nullptr}, {"type_filling", nullptr},
    {"type_time", nullptr}, {"expiration", nullptr}, {"comment", nullptr}, {"position", nullptr},
    {"position_by", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kOrderSendResultFields[] = {
    {"retcode", nullptr}, {"deal", nullptr}, {"order", nullptr}, {"volume", nullptr},
    {"price", nullptr}, {"bid", nullptr}, {"ask", nullptr}, {"comment", nullptr},
    {"request_id", nullptr}, {"retcode_external", nullptr}, {"request", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kOrderCheckResultFields[] = {
    {"retcode", nullptr}, {"balance", nullptr}, {"equity", nullptr}, {"profit", nullptr},
    {"margin", nullptr}, {"margin_free", nullptr}, {"margin_level", nullptr}, {"comment", nullptr},
    {"request", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kTickFields[] = {
    {"time", nullptr}, {"bid", nullptr}, {"ask", nullptr}, {"last", nullptr}, {"volume", nullptr},
    {"time_msc", nullptr}, {"flags", nullptr}, {"volume_real", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kTerminalInfoFields[] = {
    {"community_account", nullptr}, {"community_connection", nullptr}, {"connected", nullptr},
    {"dlls_allowed", nullptr}, {"trade_allowed", nullptr}, {"tradeapi_disabled", nullptr},
    {"email_enabled", nullptr}, {"ftp_enabled", nullptr}, {"notifications_enabled", nullptr},
    {"obid", nullptr}, {"build", nullptr}, {"maxbars", nullptr}, {"codepage", nullptr},
    {"ping_last", nullptr}, {"community_balance", nullptr}, {"retransmission", nullptr},
    {"company", nullptr}, {"name", nullptr}, {"language", nullptr}, {"path", nullptr},
    {"data_path", nullptr}, {"commondata_path", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kSymbolInfoFields[] = {
    {"custom", nullptr}, {"chart_mode", nullptr}, {"select", nullptr}, {"visible", nullptr},
    {"session_deals", nullptr}, {"session_buy_orders", nullptr}, {"session_sell_orders", nullptr},
    {"volume", nullptr}, {"volumehigh", nullptr}, {"volumelow", nullptr}, {"time", nullptr},
    {"digits", nullptr}, {"spread", nullptr}, {"spread_float", nullptr},
    {"ticks_bookdepth", nullptr}, {"trade_calc_mode", nullptr}, {"trade_mode", nullptr},
    {"start_time", nullptr}, {"expiration_time", nullptr}, {"trade_stops_level", nullptr},
    {"trade_freeze_level", nullptr}, {"trade_exemode", nullptr}, {"swap_mode", nullptr},
    {"swap_rollover3days", nullptr}, {"margin_hedged_use_leg", nullptr},
    {"expiration_mode", nullptr}, {"filling_mode", nullptr}, {"order_mode", nullptr},
    {"order_gtc_mode", nullptr}, {"option_mode", nullptr}, {"option_right", nullptr},
    {"bid", nullptr}, {"bidhigh", nullptr}, {"bidlow", nullptr}, {"ask", nullptr},
    {"askhigh", nullptr}, {"asklow", nullptr}, {"last", nullptr}, {"lasthigh", nullptr},
    {"lastlow", nullptr}, {"volume_real", nullptr}, {"volumehigh_real", nullptr},
    {"volumelow_real", nullptr}, {"option_strike", nullptr}, {"point", nullptr},
    {"trade_tick_value", nullptr}, {"trade_tick_value_profit", nullptr},
    {"trade_tick_value_loss", nullptr}, {"trade_tick_size", nullptr},
    {"trade_contract_size", nullptr}, {"trade_accrued_interest", nullptr},
    {"trade_face_value", nullptr}, {"trade_liquidity_rate", nullptr}, {"volume_min", nullptr},
    {"volume_max", nullptr}, {"volume_step", nullptr}, {"volume_limit", nullptr},
    {"swap_long", nullptr}, {"swap_short", nullptr}, {"margin_initial", nullptr},
    {"margin_maintenance", nullptr}, {"session_volume", nullptr}, {"session_turnover", nullptr},
    {"session_interest", nullptr}, {"session_buy_orders_volume", nullptr},
    {"session_sell_orders_volume", nullptr}, {"session_open", nullptr}, {"session_close", nullptr},
    {"session_aw", nullptr}, {"session_price_settlement", nullptr},
    {"session_price_limit_min", nullptr}, {"session_price_limit_max", nullptr},
    {"margin_hedged", nullptr}, {"price_change", nullptr}, {"price_volatility", nullptr},
    {"price_theoretical", nullptr}, {"price_greeks_delta", nullptr},
    {"price_greeks_theta", nullptr}, {"price_greeks_gamma", nullptr},
    {"price_greeks_vega", nullptr}, {"price_greeks_rho", nullptr}, {"price_greeks_omega", nullptr},
    {"price_sensitivity", nullptr}, {"basis", nullptr}, {"category", nullptr},
    {"currency_base", nullptr}, {"currency_profit", nullptr}, {"currency_margin", nullptr},
    {"bank", nullptr}, {"description", nullptr}, {"exchange", nullptr}, {"formula", nullptr},
    {"isin", nullptr}, {"name", nullptr}, {"page", nullptr}, {"path", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kAccountInfoFields[] = {
    {"login", nullptr}, {"trade_mode", nullptr}, {"leverage", nullptr}, {"limit_orders", nullptr},
    {"margin_so_mode", nullptr}, {"trade_allowed", nullptr}, {"trade_expert", nullptr},
    {"margin_mode", nullptr}, {"currency_digits", nullptr}, {"fifo_close", nullptr},
    {"balance", nullptr}, {"credit", nullptr}, {"profit", nullptr}, {"equity", nullptr},
    {"margin", nullptr}, {"margin_free", nullptr}, {"margin_level", nullptr},
    {"margin_so_call", nullptr}, {"margin_so_so", nullptr}, {"margin_initial", nullptr},
    {"margin_maintenance", nullptr}, {"assets", nullptr}, {"liabilities", nullptr},
    {"commission_blocked", nullptr}, {"name", nullptr}, {"server", nullptr}, {"currency", nullptr},
    {"company", nullptr},
    {nullptr, nullptr},
};
PyStructSequence_Field kBookInfoFields[] = {
    {"type", nullptr}, {"price", nullptr}, {"volume", nullptr}, {"volume_dbl", nullptr},
    {nullptr, nullptr},
};

struct ResultTypeInfo {
  PyStructSequence_Desc desc;
  int field_count;
  PyTypeObject type;
  bool ready;
};

template <std::size_t N>
constexpr int Count(const PyStructSequence_Field (&)[N]) {
  return static_cast<int>(N - 1);
}

#define VL5_RESULT_TYPE(name, doc)                                          \
  ResultTypeInfo {                                                          \
    {#name, doc, k##name##Fields, Count(k##name##Fields)},                  \
        Count(k##name##Fields), {}, false                                   \
  }

// In ResultType order, which is also the order of registration.
ResultTypeInfo g_types[kResultTypeCount] = {
    VL5_RESULT_TYPE(TradePosition, "Trade position structure"),
    VL5_RESULT_TYPE(TradeOrder, "Trade order structure"),
    VL5_RESULT_TYPE(TradeDeal, "Trade deal structure"),
    VL5_RESULT_TYPE(TradeRequest, "Trade request structure"),
    VL5_RESULT_TYPE(OrderSendResult, "order_send result structure"),
    VL5_RESULT_TYPE(OrderCheckResult, "order_check result structure"),
    VL5_RESULT_TYPE(Tick, "This is a structure for storing latest symbol prices"),
    VL5_RESULT_TYPE(TerminalInfo, "This is a structure for storing terminal information"),
    VL5_RESULT_TYPE(SymbolInfo, "This is a structure for storing symbol information"),
    VL5_RESULT_TYPE(AccountInfo, "This is a structure for storing account information"),
    VL5_RESULT_TYPE(BookInfo, "This is a structure for storing Depth of Market information"),
};
#undef VL5_RESULT_TYPE

// The order in which _asdict tries the types.
constexpr ResultType kAsDictOrder[kResultTypeCount] = {
    ResultType::kTradePosition, ResultType::kTradeOrder,     ResultType::kTradeDeal,
    ResultType::kOrderSendResult, ResultType::kTradeRequest, ResultType::kOrderCheckResult,
    ResultType::kTick,          ResultType::kTerminalInfo,   ResultType::kSymbolInfo,
    ResultType::kAccountInfo,   ResultType::kBookInfo,
};

ResultTypeInfo& Info(ResultType type) { return g_types[static_cast<int>(type)]; }

PyObject* AsDict(PyObject* self, PyObject*) {
  const ResultTypeInfo* found = nullptr;
  for (ResultType type : kAsDictOrder) {
    ResultTypeInfo& info = Info(type);
    if (info.ready && PyObject_IsInstance(self, reinterpret_cast<PyObject*>(&info.type)) == 1) {
      found = &info;
      break;
    }
  }
  if (found == nullptr) return SetErrorReturnNone(wire::kInvalidParams, "Invalid object type");
  if (PyTuple_Size(self) != found->field_count) return SetErrorReturnNone(wire::kInvalidParams, "Invalid tuple size");
  PyRef dict = PyRef::Steal(PyDict_New());
  if (!dict) return SetErrorReturnNone(wire::kOutOfMemory, "Can't create dictionary");
  for (int i = 0; i < found->field_count; ++i) {
    PyObject* item = PyTuple_GetItem(self, i);
    if (item != nullptr && PyDict_SetItemString(dict.get(), found->desc.fields[i].name, item) != 0) {
      PyErr_Clear();  // a failed store leaves the key out; nothing is raised
    }
  }
  if (PyErr_Occurred()) PyErr_Clear();
  return dict.release();
}

PyMethodDef g_asdict = {"_asdict", AsDict, METH_NOARGS, "Convert named tuple object to dictionary"};

}  // namespace

PyTypeObject* TypeObject(ResultType type) { return &Info(type).type; }

void RegisterResultTypes(PyObject* module) {
  for (ResultTypeInfo& info : g_types) {
    PyRef name = PyRef::Steal(PyUnicode_InternFromString(g_asdict.ml_name));
    if (!name || PyStructSequence_InitType2(&info.type, &info.desc) != 0) {
      PyErr_Clear();
      continue;
    }
    info.ready = true;
    auto* type = reinterpret_cast<PyObject*>(&info.type);
    PyRef method = PyRef::Steal(PyDescr_NewMethod(&info.type, &g_asdict));
    if (method && PyObject_GenericSetAttr(type, name.get(), method.get()) == 0) PyType_Modified(&info.type);
    PyErr_Clear();
    Py_INCREF(type);  // the module keeps this reference
    if (PyModule_AddObject(module, info.desc.name, type) != 0) {
      Py_DECREF(type);
      PyErr_Clear();
    }
  }
}

PyRef NewResult(ResultType type) {
  if (!Info(type).ready) return {};
  return PyRef::Steal(PyStructSequence_New(TypeObject(type)));
}

}  // namespace vl5::py

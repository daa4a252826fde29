#include "terminal/model/trading/actions.h"

#include "terminal/model/trading/action_steps.h"

#include "terminal/base/calendar.h"
#include "terminal/model/trading/validation.h"

namespace vl5::terminal::trading {

namespace {

struct ActionRule {
  std::uint32_t action;
  Plan (*plan)(const Desk&, const TradeRequest&);
  Executed (*execute)(Desk&, const TradeRequest&, const Plan&);
  std::uint32_t success;
};

constexpr ActionRule kRules[] = {
    {wire::TRADE_ACTION_DEAL, PlanDeal, ExecuteDeal, wire::TRADE_RETCODE_DONE},
    {wire::TRADE_ACTION_PENDING, PlanPending, ExecutePending, wire::TRADE_RETCODE_PLACED},
    {wire::TRADE_ACTION_SLTP, PlanStops, ExecuteStops, wire::TRADE_RETCODE_DONE},
    {wire::TRADE_ACTION_MODIFY, PlanModify, ExecuteModify, wire::TRADE_RETCODE_DONE},
    {wire::TRADE_ACTION_REMOVE, PlanRemove, ExecuteRemove, wire::TRADE_RETCODE_DONE},
    {wire::TRADE_ACTION_CLOSE_BY, PlanCloseBy, ExecuteCloseBy, wire::TRADE_RETCODE_DONE},
};

const ActionRule* RuleOf(std::uint32_t action) {
  for (const ActionRule& rule : kRules) {
    if (rule.action == action) return &rule;
  }
  return nullptr;
}

}  // namespace

bool QuoteSymbol(const Desk& desk, const std::u16string& name, Plan* plan) {
  const std::optional<std::size_t> symbol = desk.market.Find(name);
  if (!symbol) {
    plan->retcode = wire::TRADE_RETCODE_INVALID;
    return false;
  }
  plan->symbol = *symbol;
  plan->quoted = QuoteAt(desk.market, *symbol, desk.now_ms, &plan->quote);
  // Between hours the last quote is still shown, but nothing trades.
  if (!plan->quoted || !desk.market.IsOpen(*symbol, market::FloorDiv(desk.now_ms, 60000))) {
    plan->retcode = wire::TRADE_RETCODE_MARKET_CLOSED;
    return false;
  }
  return true;
}

bool QuoteOwnSymbol(const Desk& desk, std::size_t symbol, const std::u16string& requested, Plan* plan) {
  if (!requested.empty() && requested != desk.market.spec(symbol).name) {
    plan->retcode = wire::TRADE_RETCODE_INVALID;
    return false;
  }
  return QuoteSymbol(desk, desk.market.spec(symbol).name, plan);
}

const Position* QuotePosition(const Desk& desk, std::uint64_t ticket, const std::u16string& requested, Plan* plan) {
  const Position* position = desk.ledger.FindPosition(ticket);
  if (position == nullptr) {
    plan->retcode = wire::TRADE_RETCODE_POSITION_CLOSED;
    return nullptr;
  }
  return QuoteOwnSymbol(desk, position->symbol, requested, plan) ? position : nullptr;
}

Order NewOrder(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  Order order;
  order.ticket = desk.ledger.NextTicket();
  order.symbol = plan.symbol;
  order.type = r.type;
  order.type_filling = r.type_filling;
  order.setup_msc = desk.now_ms;
  order.magic = r.magic;
  order.volume_initial = r.volume;
  order.price_open = plan.price;
  order.sl = Normalize(spec, r.sl);
  order.tp = Normalize(spec, r.tp);
  order.comment = r.comment;
  return order;
}

std::uint32_t CheckMoney(const Desk& desk, double margin) {
  return Affordable(desk, margin) ? 0 : wire::TRADE_RETCODE_NO_MONEY;
}

Plan PlanRequest(const Desk& desk, const TradeRequest& request) {
  const ActionRule* rule = RuleOf(request.action);
  Plan plan;
  // The numbers first, whichever of them the action reads.
  plan.retcode = rule == nullptr ? wire::TRADE_RETCODE_INVALID : CheckFinite(request);
  return plan.retcode == 0 ? rule->plan(desk, request) : plan;
}

Outcome Execute(Desk& desk, const TradeRequest& request, const Plan& plan) {
  const ActionRule* rule = RuleOf(request.action);
  if (rule == nullptr || plan.retcode != 0) {
    return Outcome{plan.retcode == 0 ? wire::TRADE_RETCODE_INVALID : plan.retcode, {}};
  }
  const Executed executed = rule->execute(desk, request, plan);
  return Outcome{executed.retcode != 0 ? executed.retcode : rule->success, executed};
}

}  // namespace vl5::terminal::trading

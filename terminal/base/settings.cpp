#include "terminal/base/settings.h"

namespace vl5::terminal {

std::vector<AccountConfig> DefaultAccounts() {
  AccountConfig first{10001, u"demo", u"Velmora-Demo", u"Demo Trader", false, 10000.0, 100};
  AccountConfig second{10002, u"demo2", u"Velmora-Demo", u"Second Demo Trader", false, 50000.0, 500};
  AccountConfig protected_account{10003, u"demo3", u"Velmora-Demo", u"Protected Trader", true, 10000.0, 100};
  // Aggregate initialisation above leaves the remaining fields at their defaults.
  return {first, second, protected_account};
}

}  // namespace vl5::terminal

#include "terminal/model/market/price_source.h"

#include "terminal/model/market/generated_prices.h"
#include "terminal/model/market/loaded_prices.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

bool PriceSource::Open(const SymbolSpec& spec, std::int64_t minute) const { return spec.hours.Open(minute); }

std::unique_ptr<const PriceSource> MakePriceSource(const SymbolSpec& spec, std::uint64_t seed,
                                                   std::shared_ptr<const History> history) {
  if (history != nullptr) return std::make_unique<LoadedPrices>(spec, std::move(history));
  return std::make_unique<GeneratedPrices>(spec, seed);
}

}  // namespace vl5::terminal::market

// Date-range queries over a trading history of 100,000 deals, in process:
// the ledger's time index against a full scan of the history.
#pragma once

namespace vl5::bench {

void HistoryQueries(int runs);

}  // namespace vl5::bench

// C-FIND in the Study Root model, at study, series or image level. The matches
// are bounded: past `maxMatches` the query is cancelled and the result says that
// there were more than shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "io/Reason.h"
#include "net/CancelToken.h"
#include "net/FindMatch.h"
#include "net/ServerSettings.h"

inline constexpr std::size_t kDefaultMaxMatches = 1000;

struct FindRequest {
    QueryLevel level = QueryLevel::Study;
    // Matching keys; the attributes every level returns are asked for as well.
    std::vector<QueryKey> keys;
    std::size_t maxMatches = kDefaultMaxMatches;
};

struct FindResult {
    std::vector<FindMatch> matches;
    bool moreThanShown = false;  // the server had more matches than maxMatches
    std::size_t unreadable = 0;  // matches left out: not a data set, or larger than kMaxMatchBytes
    Reason failure;              // empty when the query ran to its end
};

// Runs the query. `onMatch`, when given, sees each match as it arrives (on the
// calling thread); `cancel` stops the query at the next match.
FindResult Find(const ServerSettings& settings, const FindRequest& request,
                const std::function<void(const FindMatch&)>& onMatch = {}, const CancelToken* cancel = nullptr);

// The attributes asked for at `level` when the caller names none: what a study
// browser shows.
std::vector<QueryKey> DefaultReturnKeys(QueryLevel level);

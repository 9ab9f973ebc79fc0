// C-FIND on an association that is already open, for the operations that query
// before they retrieve.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "net/Association.h"
#include "net/Find.h"

class DcmDataset;

// The context that C-FIND needs.
ProposedContext FindContext();

// The identifier of a query at `level`: the level's return keys, then `keys`.
std::unique_ptr<DcmDataset> QueryIdentifier(QueryLevel level, const std::vector<QueryKey>& keys);

FindResult RunFind(Association& association, QueryLevel level, const std::vector<QueryKey>& keys,
                   std::size_t maxMatches, const std::function<void(const FindMatch&)>& onMatch,
                   const CancelToken* cancel);

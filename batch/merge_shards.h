#pragma once
// Batches too large for one machine are split into shards: consecutive pieces of the batch
// file, each run as an ordinary batch into a transfer folder of its own, on any machine.
// Merging the shards' folders in batch order gives the files one run over the whole batch
// would have written, as every herd's lines depend on that herd alone.
#include <string>
#include <vector>

#include "herd/services.h"

namespace ovista {

// The folders of "MERGE=<folder>,<folder>...", in the order given.
std::vector<std::string> SplitShardFolders(const std::string& list);

// Writes the batch log, summary, conception, trends, cow-list and trace files into target from
// the shards' folders, in the order given: the summary, trends and cow-list headers once, then every shard's
// lines. False (after a message) when a shard's file cannot be read or a shard's header
// differs from the first one (the target is left as it was), or when a file of the target
// cannot be written: the message names it, every file holds whole lines only, and a trace
// that could not be written is emptied with its partner. Shards without trace files
// (NOTRACE), trends files (no TRENDS) or cow-list files (no COWLISTS) give a target without
// them; such files in some
// shards only are refused. Messages go to services.
bool MergeShards(const std::string& target, const std::vector<std::string>& shards,
                 UserServices& services);

}  // namespace ovista

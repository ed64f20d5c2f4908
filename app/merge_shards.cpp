#include "app/merge_shards.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "analysis/trace.h"
#include "app/runs.h"
#include "app/summary_file.h"
#include "app/trend_seasons.h"
#include "app/working_folder.h"
#include "herd/input_file.h"
#include "herd/services.h"

namespace ovista {
namespace {

// A shard's traces grow with its herds without a bound worth setting.
constexpr InputKind kShardFileInput{"a shard's file", ~std::uint64_t{0}};

// False when the file is missing, a folder, or not a regular file at all (a pipe would hold
// the merge up).
bool ReadBytes(const std::string& path, std::string& bytes) {
    try {
        RegularFileInput in(path, kShardFileInput);
        if (!in.IsOpen()) return false;
        bytes = in.ReadAll();
        return !in.ReadFailed();
    } catch (const InputFileError&) {
        return false;
    }
}

}  // namespace

std::vector<std::string> SplitShardFolders(const std::string& list) {
    std::vector<std::string> folders;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        if (comma > at) folders.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return folders;
}

bool MergeShards(const std::string& target, const std::vector<std::string>& shards) {
    const char* const names[] = {kBatchLogFileName, kSummaryFileName, kConceptionFileName,
                                 kTrendsFileName, kTraceFileName, kDetailTraceFileName};
    constexpr std::size_t kFirstOptional = 3;
    // Everything is read first, so a missing shard leaves the target as it was.
    std::string merged[std::size(names)];
    // Shards run with NOTRACE have no traces, and shards run without TRENDS no trends file;
    // then the target has none either, as one such run over the whole batch would leave it.
    // Such a file of some shards only cannot be merged.
    bool present[std::size(names)] = {true, true, true, true, true, true};
    std::string header[std::size(names)];
    for (std::size_t s = 0; s < shards.size(); ++s) {
        const std::string folder = WithTrailingSeparator(shards[s]);
        for (std::size_t f = 0; f < std::size(names); ++f) {
            const std::string path = folder + names[f];
            std::string bytes;
            const bool read = ReadBytes(path, bytes);
            if (f >= kFirstOptional && s == 0) present[f] = read;
            if (f >= kFirstOptional && !present[f] && !read) continue;
            if (!read || (f >= kFirstOptional && !present[f])) {
                ShowInfo("Could not open " + (read ? WithTrailingSeparator(shards[0]) + names[f] : path));
                return false;
            }
            if (names[f] == kSummaryFileName || names[f] == kTrendsFileName) {
                const std::size_t end = bytes.find("\r\n");
                const std::string first = bytes.substr(0, end == std::string::npos ? bytes.size() : end + 2);
                if (s == 0) header[f] = first;
                if (first != header[f]) {
                    ShowInfo("Not a summary file of the same kind: " + path);
                    return false;
                }
                if (s == 0) merged[f] = header[f];
                bytes.erase(0, first.size());
            }
            merged[f] += bytes;
        }
    }
    std::error_code ignored;
    std::filesystem::create_directories(target, ignored);
    const std::string folder = WithTrailingSeparator(target);
    for (std::size_t f = 0; f < std::size(names); ++f) {
        if (!present[f]) {
            std::filesystem::remove(folder + names[f], ignored);
            continue;
        }
        std::ofstream out(folder + names[f], std::ios::binary | std::ios::trunc);
        out.write(merged[f].data(), static_cast<std::streamsize>(merged[f].size()));
        out.close();
        if (!out) {
            ShowInfo(std::string("Could not write ") + names[f]);
            return false;
        }
    }
    return true;
}

}  // namespace ovista

#include "batch/merge_shards.h"

#include <filesystem>
#include <iterator>

#include "analysis/output_file.h"
#include "analysis/trace.h"
#include "batch/runs.h"
#include "formats/cow_list_file.h"
#include "formats/summary_file.h"
#include "batch/trend_seasons.h"
#include "batch/working_folder.h"
#include "herd/input_file.h"
#include "herd/services.h"

namespace ovista {
namespace {

// A shard's traces grow with its herds without a bound worth setting.
constexpr InputKind kShardFileInput{"a shard's file", ~std::uint64_t{0}};

// False when the file is missing, a folder, or not a regular file at all (a pipe would hold
// the merge up).
bool IsReadableFile(const std::string& path) {
    try {
        return RegularFileInput(path, kShardFileInput).IsOpen();
    } catch (const InputFileError&) {
        return false;
    }
}

// The file's first line with its line end (all of it when it has no line end); false when
// it cannot be read.
bool ReadHeader(const std::string& path, std::string& header) {
    try {
        RegularFileInput in(path, kShardFileInput);
        if (!in.IsOpen()) return false;
        header.clear();
        std::istream& stream = in.Stream();
        char c = 0;
        while (stream.get(c)) {
            header += c;
            if (c == '\n' && header.ends_with("\r\n")) break;
        }
        return !in.ReadFailed();
    } catch (const InputFileError&) {
        return false;
    }
}

// Writes text (whole lines) to out; when out cannot take it all, as many of its lines as it
// takes, then OutputFileError.
void WriteLines(std::string_view text, OutputFile& out) {
    try {
        out.Write(text);
    } catch (const OutputFileError&) {
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
            out.Write(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
}

// Appends the file at path, less its first skip bytes, to out in pieces that end at a line
// end, so that a file that fills up keeps whole lines. False when path cannot be read;
// OutputFileError when out cannot take a line.
bool AppendFile(const std::string& path, std::size_t skip, OutputFile& out) {
    try {
        RegularFileInput input(path, kShardFileInput);
        if (!input.IsOpen()) return false;
        std::istream& in = input.Stream();
        in.ignore(static_cast<std::streamsize>(skip));
        constexpr std::size_t kPiece = 1 << 20;
        std::string buffer;
        std::string held;  // the start of a line that the next piece ends
        buffer.resize(kPiece);
        for (;;) {
            in.read(buffer.data(), static_cast<std::streamsize>(kPiece));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0) break;
            held.append(buffer.data(), got);
            const std::size_t lineEnd = held.rfind('\n');
            if (lineEnd == std::string::npos) continue;
            WriteLines(std::string_view(held).substr(0, lineEnd + 1), out);
            held.erase(0, lineEnd + 1);
        }
        if (input.ReadFailed()) return false;
        if (!held.empty()) WriteLines(held, out);  // a shard's last line without its end, as it is
        return true;
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

bool MergeShards(const std::string& target, const std::vector<std::string>& shards,
                 UserServices& services) {
    const char* const names[] = {kBatchLogFileName, kSummaryFileName, kConceptionFileName,
                                 kTrendsFileName, kCowListFileName, kTraceFileName, kDetailTraceFileName};
    constexpr std::size_t kFileCount = std::size(names);
    constexpr std::size_t kFirstOptional = 3;
    constexpr std::size_t kFirstTrace = 5;
    const auto headed = [&names](std::size_t f) {
        return names[f] == kSummaryFileName || names[f] == kTrendsFileName || names[f] == kCowListFileName;
    };
    // Every shard is looked at first, so a missing shard leaves the target as it was.
    // Shards run with NOTRACE have no traces, and shards run without TRENDS (COWLISTS) no
    // trends (cow-list) file;
    // then the target has none either, as one such run over the whole batch would leave it.
    // Such a file of some shards only cannot be merged.
    bool present[kFileCount] = {true, true, true, true, true, true, true};
    std::string header[kFileCount];
    for (std::size_t s = 0; s < shards.size(); ++s) {
        const std::string folder = WithTrailingSeparator(shards[s]);
        for (std::size_t f = 0; f < kFileCount; ++f) {
            const std::string path = folder + names[f];
            const bool readable = IsReadableFile(path);
            if (f >= kFirstOptional && s == 0) present[f] = readable;
            if (f >= kFirstOptional && !present[f] && !readable) continue;
            if (!readable || (f >= kFirstOptional && !present[f])) {
                services.ShowInfo("Could not open " + (readable ? WithTrailingSeparator(shards[0]) + names[f] : path));
                return false;
            }
            if (!headed(f)) continue;
            std::string first;
            if (!ReadHeader(path, first)) {
                services.ShowInfo("Could not open " + path);
                return false;
            }
            if (s == 0) header[f] = first;
            if (first != header[f]) {
                services.ShowInfo("Not a summary file of the same kind: " + path);
                return false;
            }
        }
    }

    // The target's files are written as a batch writes them, whole lines only: every file is
    // emptied first (nothing of an earlier merge passes for this one's), then filled.
    std::error_code ignored;
    std::filesystem::create_directories(target, ignored);
    const std::string folder = WithTrailingSeparator(target);
    OutputFile out[kFileCount];
    const auto stopped = [&target, &services](const char* verb, const OutputFileError& e) {
        services.ShowInfo("The merge into " + target + " stopped: could not " + verb + " " + e.Path() +
                 ": " + e.Reason());
        return false;
    };
    for (std::size_t f = 0; f < kFileCount; ++f) {
        if (!present[f]) {
            std::filesystem::remove(folder + names[f], ignored);
            continue;
        }
        try {
            out[f].Create(folder + names[f]);
        } catch (const OutputFileError& e) {
            return stopped("create", e);
        }
    }
    for (std::size_t f = 0; f < kFileCount; ++f) {
        if (!present[f]) continue;
        for (std::size_t s = 0; s < shards.size(); ++s) {
            const std::string path = WithTrailingSeparator(shards[s]) + names[f];
            try {
                if (!AppendFile(path, headed(f) && s > 0 ? header[f].size() : 0, out[f])) {
                    services.ShowInfo("Could not read " + path);
                    return false;
                }
            } catch (const OutputFileError& e) {
                // A trace cut short misleads, and it holds the room the other files need.
                if (f >= kFirstTrace) {
                    try {
                        for (std::size_t t = kFirstTrace; t < kFileCount; ++t) out[t].CutBackTo(0);
                    } catch (const OutputFileError&) {
                    }
                }
                return stopped("write", e);
            }
        }
    }
    return true;
}

}  // namespace ovista

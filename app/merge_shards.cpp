#include "app/merge_shards.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "analysis/output_file.h"
#include "analysis/trace.h"
#include "app/runs.h"
#include "app/summary_file.h"
#include "app/working_folder.h"
#include "herd/services.h"

namespace ovista {
namespace {

bool IsReadableFile(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return false;
    return std::ifstream(path, std::ios::binary).is_open();
}

// The summary file's first line with its line end (all of it when it has no line end);
// false when it cannot be read.
bool ReadHeader(const std::string& path, std::string& header) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    header.clear();
    char c = 0;
    while (in.get(c)) {
        header += c;
        if (c == '\n' && header.ends_with("\r\n")) break;
    }
    return !in.bad();
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
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    in.seekg(static_cast<std::streamoff>(skip));
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
    if (in.bad()) return false;
    if (!held.empty()) WriteLines(held, out);  // a shard's last line without its end, as it is
    return true;
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
                                 kTraceFileName, kDetailTraceFileName};
    constexpr std::size_t kFileCount = std::size(names);
    constexpr std::size_t kFirstTrace = 3;
    constexpr std::size_t kSummary = 1;
    // Every shard is looked at first, so a missing shard leaves the target as it was.
    // Shards run with NOTRACE have no traces; then the target has none either, as one such
    // run over the whole batch would leave it. Traces of some shards only cannot be merged.
    bool present[kFileCount] = {true, true, true, true, true};
    std::string header;
    for (std::size_t s = 0; s < shards.size(); ++s) {
        const std::string folder = WithTrailingSeparator(shards[s]);
        for (std::size_t f = 0; f < kFileCount; ++f) {
            const std::string path = folder + names[f];
            const bool readable = IsReadableFile(path);
            if (f >= kFirstTrace && s == 0) present[f] = readable;
            if (f >= kFirstTrace && !present[f] && !readable) continue;
            if (!readable || (f >= kFirstTrace && !present[f])) {
                ShowInfo("Could not open " + (readable ? WithTrailingSeparator(shards[0]) + names[f] : path));
                return false;
            }
        }
        std::string first;
        if (!ReadHeader(folder + kSummaryFileName, first)) {
            ShowInfo("Could not open " + folder + kSummaryFileName);
            return false;
        }
        if (s == 0) header = first;
        if (first != header) {
            ShowInfo("Not a summary file of the same kind: " + folder + kSummaryFileName);
            return false;
        }
    }

    // The target's files are written as a batch writes them, whole lines only: every file is
    // emptied first (nothing of an earlier merge passes for this one's), then filled.
    std::error_code ignored;
    std::filesystem::create_directories(target, ignored);
    const std::string folder = WithTrailingSeparator(target);
    OutputFile out[kFileCount];
    const auto stopped = [&target](const char* verb, const OutputFileError& e) {
        ShowInfo("The merge into " + target + " stopped: could not " + verb + " " + e.Path() +
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
                if (!AppendFile(path, f == kSummary && s > 0 ? header.size() : 0, out[f])) {
                    ShowInfo("Could not read " + path);
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

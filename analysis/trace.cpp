#include "analysis/trace.h"

#include <filesystem>
#include <utility>

namespace ovista {
namespace {

std::string FilePath(const std::string& folder, const char* name) {
    std::string path = folder;
    if (path.back() != std::filesystem::path::preferred_separator) {
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return path + name;
}

// Held-back trace text is written once it reaches this size, and when the file closes.
constexpr std::size_t kPendingLimit = 64 * 1024;

std::optional<OutputFileError>& LastFailure() {
    static std::optional<OutputFileError> failure;
    return failure;
}

}  // namespace

std::optional<OutputFileError> TakeTraceFailure() { return std::exchange(LastFailure(), std::nullopt); }

std::string RightAligned(std::string_view text, int width) {
    std::string out;
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        out.assign(static_cast<std::size_t>(width) - text.size(), ' ');
    }
    out += text;
    return out;
}

std::string RightAligned(std::int64_t value, int width) { return RightAligned(IntToText(value), width); }

std::string FixedPoint(double value, int decimals, int width) {
    return RightAligned(FormatFixed(value, decimals), width);
}

void TraceWriter::Open(const std::string& folder) {
    Close();
    if (folder.empty()) return;
    if (kTraceSwitch) Open(trace_, FilePath(folder, kTraceFileName));
    if (kDetailSwitch) Open(detail_, FilePath(folder, kDetailTraceFileName));
}

void TraceWriter::Close() {
    for (File* file : {&trace_, &detail_}) {
        Flush(*file);
        file->file.Close();
    }
}

void TraceWriter::Line(std::string_view text) { Add(trace_, text); }

void TraceWriter::DetailLine(std::string_view text) { Add(detail_, text); }

void TraceWriter::Open(File& file, const std::string& path) {
    file.pending.clear();
    try {
        file.file.OpenForAppending(path);
    } catch (const OutputFileError& error) {
        if (!LastFailure()) LastFailure() = error;  // the first says why
    }
}

void TraceWriter::Add(File& file, std::string_view text) {
    if (!file.file.IsOpen()) return;
    file.pending += text;
    file.pending += "\r\n";
    if (file.pending.size() >= kPendingLimit) Flush(file);
}

void TraceWriter::Flush(File& file) {
    if (file.pending.empty() || !file.file.IsOpen()) return;
    try {
        file.file.Write(file.pending);
    } catch (const OutputFileError& error) {
        // Whole lines stay; nothing more of this analysis goes to the file.
        if (!LastFailure()) LastFailure() = error;  // the first says why
        file.file.Close();
    }
    file.pending.clear();
}

}  // namespace ovista

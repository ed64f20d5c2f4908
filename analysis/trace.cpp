#include "analysis/trace.h"

#include <filesystem>

namespace ovista {
namespace {

std::string FilePath(const std::string& folder, const char* name) {
    std::string path = folder;
    if (path.back() != std::filesystem::path::preferred_separator) {
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return path + name;
}

void OpenForAppending(std::ofstream& file, const std::string& path) {
    file.open(path, std::ios::binary | std::ios::app);
    if (!file.is_open()) file.clear();
}

void WriteLine(std::ofstream& file, std::string_view text) {
    if (!file.is_open()) return;
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.write("\r\n", 2);
}

}  // namespace

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
    if (kTraceSwitch) OpenForAppending(trace_, FilePath(folder, kTraceFileName));
    if (kDetailSwitch) OpenForAppending(detail_, FilePath(folder, kDetailTraceFileName));
}

void TraceWriter::Close() {
    if (trace_.is_open()) trace_.close();
    if (detail_.is_open()) detail_.close();
    trace_.clear();
    detail_.clear();
}

void TraceWriter::Line(std::string_view text) { WriteLine(trace_, text); }

void TraceWriter::DetailLine(std::string_view text) { WriteLine(detail_, text); }

}  // namespace ovista

#include "batch/batch_progress.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <ostream>

#include "batch/runs.h"
#include "herd/csv_line.h"
#include "herd/input_file.h"

namespace ovista {

BatchProgress::BatchProgress(UserServices& outer, std::ostream& out, long long totalHerds, Clock clock)
    : outer_(outer), out_(out), total_(totalHerds), clock_(std::move(clock)), start_(clock_()) {
    Draw(true);
}

BatchProgress::~BatchProgress() {
    if (shown_) out_ << '\n' << std::flush;
}

void BatchProgress::ShowInfo(const std::string& message) {
    Clear();
    outer_.ShowInfo(message);
    Draw(true);
}

std::unique_ptr<StatusWindow> BatchProgress::ShowStatus(const std::string& /*message*/) {
    return std::make_unique<StatusWindow>();  // the progress line says it
}

void BatchProgress::PumpMessages() { outer_.PumpMessages(); }

void BatchProgress::HerdDone() {
    ++done_;
    Draw(done_ == total_);
}

void BatchProgress::Clear() {
    if (shown_) out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

void BatchProgress::Draw(bool force) {
    const auto now = clock_();
    // A few redraws a second are enough to read; more would slow a fast batch down.
    if (!force && shown_ && now - drawn_ < std::chrono::milliseconds(200)) return;
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char text[160];
    int length = std::snprintf(text, sizeof text, "%lld of %lld herds", done_, total_);
    if (done_ > 0 && seconds > 0) {
        const double rate = static_cast<double>(done_) / seconds;
        const long long left = static_cast<long long>(static_cast<double>(total_ - done_) / rate + 0.5);
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                      ", %.1f herds/s, %lld:%02lld left", rate, left / 60, left % 60);
    }
    out_ << "\r\x1b[K" << text << std::flush;
    shown_ = true;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

long long CountBatchHerds(const std::string& batchFile) {
    std::optional<RegularFileInput> file;
    try {
        file.emplace(batchFile, kBatchFileInput);
    } catch (const InputFileError&) {
        return 0;  // the run refuses it itself
    }
    std::istream& in = file->Stream();
    SkipByteOrderMark(in);
    long long herds = 0;
    std::string line;
    CsvFields fields;
    while (ReadTextLine(in, line)) {
        SplitCsvLine(line, fields);
        if (!fields[0].empty()) ++herds;
    }
    return herds;
}

}  // namespace ovista

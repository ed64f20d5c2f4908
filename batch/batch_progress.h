#pragma once
// The progress of an unattended batch on a terminal: instead of a scrolling line per status
// text ("Extracting Tamsel data for ..."), one line that is redrawn as herds are done, with
// the herds done of the total, herds per second and the time left. Messages still appear,
// each on a line of its own above the progress line. The batch log does not change.
#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "herd/services.h"

namespace ovista {

class BatchProgress : public UserServices {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Messages go on to outer, each on a line of its own above the progress line.
    BatchProgress(UserServices& outer, std::ostream& out, long long totalHerds,
                  Clock clock = std::chrono::steady_clock::now);
    ~BatchProgress() override;
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    void ShowInfo(const std::string& message) override;
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override;
    void PumpMessages() override;

    // One more herd of the batch is done.
    void HerdDone();

private:
    void Draw(bool force);
    void Clear();

    UserServices& outer_;
    std::ostream& out_;
    long long total_;
    long long done_ = 0;
    Clock clock_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_{};
    bool shown_ = false;
};

// True when standard error is a terminal.
bool StandardErrorIsTerminal();

// Herds of a batch file: its lines whose first field is not empty.
long long CountBatchHerds(const std::string& batchFile);

}  // namespace ovista

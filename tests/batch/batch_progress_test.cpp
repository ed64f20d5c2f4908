// The progress line of a batch on a terminal: status texts are not shown, messages are, each
// on its own line, and the line counts herds, herds per second and the time left.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "batch/batch_progress.h"

namespace ovista {
namespace {

// Every message and status text a line of out, as on the console.
class LineServices : public UserServices {
public:
    explicit LineServices(std::ostream& out) : out_(out) {}
    void ShowInfo(const std::string& message) override { out_ << message << std::endl; }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        ShowInfo(message);
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}

private:
    std::ostream& out_;
};

TEST(BatchProgress, OneUpdatingLineInsteadOfStatusTextsWithMessagesAbove) {
    std::ostringstream out;
    LineServices console(out);
    auto now = std::chrono::steady_clock::time_point{};
    {
        BatchProgress progress(console, out, 4, [&now] { return now; });
        progress.ShowStatus("Extracting Tamsel data for 590001");
        now += std::chrono::seconds(2);
        progress.HerdDone();  // 0.5 herds a second, 6 seconds for the other three
        progress.ShowInfo("herd2.csv: Error at line 3");
        now += std::chrono::milliseconds(50);
        progress.HerdDone();  // too soon after the last drawing: not drawn
        now += std::chrono::seconds(2);
        progress.HerdDone();
        progress.HerdDone();  // the last one is always drawn
    }
    const std::string text = out.str();
    EXPECT_EQ(text.find("Extracting"), std::string::npos);
    EXPECT_NE(text.find("\r\x1b[K1 of 4 herds, 0.5 herds/s, 0:06 left"), std::string::npos);
    EXPECT_NE(text.find("\r\x1b[Kherd2.csv: Error at line 3\n\r\x1b[K1 of 4 herds"), std::string::npos);
    EXPECT_EQ(text.find("2 of 4 herds"), std::string::npos);
    EXPECT_NE(text.find("3 of 4 herds, 0.7 herds/s, 0:01 left"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 37), "4 of 4 herds, 1.0 herds/s, 0:00 left\n");
}

}  // namespace
}  // namespace ovista

#include <gtest/gtest.h>

#include "herd/services.h"

namespace ovista {
namespace {

TEST(Services, SilentUntilInstalled) {
    // Without installed services the reader and the analysis must still run.
    ShowInfo("nobody sees this");
    auto status = ShowStatus("Extracting");
    EXPECT_NE(status, nullptr);
    PumpMessages();
}

}  // namespace
}  // namespace ovista

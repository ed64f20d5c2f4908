#include "interpret/message_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "herd/services.h"

namespace ovista {
namespace {

class RecordingServices : public UserServices {
public:
    void ShowInfo(const std::string& message) override { messages.push_back(message); }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string&) override {
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}
    std::vector<std::string> messages;
};

class MessageTable : public ::testing::Test {
protected:
    MessageTable() { InstallServices(&services); }
    ~MessageTable() override { InstallServices(nullptr); }
    RecordingServices services;
};

TEST_F(MessageTable, HoldsFiftyFiveSectionsEachFollowedByAnEmptyLine) {
    const auto lines = MessageTableLines();
    int headers = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("[")) continue;
        ++headers;
        if (i > 0) {
            EXPECT_EQ(lines[i - 1], "") << "before " << lines[i];
        }
    }
    EXPECT_EQ(headers, 55);
    EXPECT_EQ(lines.front(), "[CPat_YR]");
    EXPECT_EQ(lines.back(), "");
}

TEST_F(MessageTable, KeysAreComparedWithoutRegardToCase) {
    EXPECT_EQ(LookupMessage("Cpat_Split"),
              "Your herd has been classified as split calving because more than 80% of calvings "
              "occurred in 2 or 3 distinct batches covering a total period of less than 21 weeks.");
    EXPECT_EQ(LookupMessage("NRR_CRBETTER"), LookupMessage("NRR_CRBetter"));
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(MessageTable, JoinsTheLinesOfASectionWithOneSpace) {
    EXPECT_EQ(LookupMessage("6wk_Actual"),
              "Your report has been based on the mating and pregnancy test results you supplied. "
              "The ACTUAL 6 week in-calf rate is shown for your herd.");
    // Four lines, one of them ending in a comma; the odd spelling is the table's own.
    EXPECT_EQ(LookupMessage("AIPractice_None"),
              "Conception rates for different technicians COULD NOT BE COMPARED because "
              "insufficient mating records had a technician recorded or insufficient early "
              "pregnancy test records were available. Supply the date, technician identifier, and "
              "the results of early pregnancy testing for at least 50 inseminations to allow a "
              "comparison to be made.");
    EXPECT_EQ(LookupMessage("3wk_Not21"),
              "A submission rate COULD NOT BE CALCULATED because inusfficient records were "
              "available. Supply at least 21 days of mating records.");
}

TEST_F(MessageTable, TheLastSectionEndsWithTheTable) {
    EXPECT_EQ(LookupMessage("VWP"),
              "Voluntary Waiting Period is estimated from calving to first insemination intervals. "
              "At least 50 cows must have intervals recorded in order to make the estimate.");
    EXPECT_EQ(LookupMessage("CPat_YR"),
              "Your herd has been classified as year round calving because less than 80% of the "
              "herd calved during the 21 weeks of the year with the most calvings.");
}

TEST_F(MessageTable, AMissingKeyIsNamedInAMessageAndGivesEmptyText) {
    EXPECT_EQ(LookupMessage("6wk_Guessed"), "");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], "Could not find message for 6wk_Guessed");
    // A key is a whole header, not a part of one.
    EXPECT_EQ(LookupMessage("VW"), "");
    EXPECT_EQ(LookupMessage("[VWP]"), "");
    EXPECT_EQ(services.messages.size(), 3u);
}

TEST_F(MessageTable, ASectionRunsAcrossEmptyLinesToTheNextLineHoldingABracket) {
    const std::vector<std::string_view> table = {
        "[A]", "one", "", "two", "see [note]", "three", "[B]", "", "[C]", "four",
    };
    EXPECT_EQ(LookupMessage(table, "a"), "one two");
    EXPECT_EQ(LookupMessage(table, "B"), "");  // found, but empty
    EXPECT_EQ(LookupMessage(table, "C"), "four");
    EXPECT_TRUE(services.messages.empty());
}

}  // namespace
}  // namespace ovista

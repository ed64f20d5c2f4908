#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "herd/errors.h"
#include "herd/herd_file.h"
#include "recording_services.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

// Reads every line of text the way the herd reader does.
std::vector<std::string> Lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    std::string line;
    while (ReadTextLine(in, line)) lines.push_back(line);
    return lines;
}

TEST(ReadTextLine, AcceptsLfCrLfAndALastLineWithoutTerminator) {
    EXPECT_EQ(Lines("a\nb\r\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Lines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Lines(""), std::vector<std::string>{});
    EXPECT_EQ(Lines("\n"), std::vector<std::string>{""});
}

TEST(ReadTextLine, ReplacesACarriageReturnOnceByTheByteAfterIt) {
    EXPECT_EQ(Lines("a\r\r\nb"), (std::vector<std::string>{"a\r", "b"}));
    EXPECT_EQ(Lines("ab\rcd\n"), (std::vector<std::string>{"abcd"}));
    EXPECT_EQ(Lines("end\r"), (std::vector<std::string>{"end"}));
}

// The reader of slices cuts lines as the reader of a stream does, also where a line, a CR LF
// or a CR and the byte it gives way to fall on either side of a slice's end.
TEST(SlicedLines, CutsAsReadTextLineCutsWhereverASliceEnds) {
    for (const std::string text : {"a\nb\r\nc", "a\n\nb\n", "", "\n", "a\r\r\nb", "ab\rcd\n", "end\r",
                                   "\r\n\r", "x\r\r\r\ny\rz", "\r\r", "row one\r\nrow two is longer\r\n\r\nlast"}) {
        for (const std::size_t slice : {1, 2, 3, 5, 64}) {
            std::istringstream in(text);
            SlicedLines cut(*in.rdbuf(), slice);
            std::vector<std::string> lines;
            for (std::string_view line; cut.Next(line);) lines.emplace_back(line);
            EXPECT_EQ(lines, Lines(text)) << text << " in slices of " << slice;
        }
    }
}

TEST(ReadTextLine, ReadsAVeryLongLineWhole) {
    const std::string longLine(100000, 'x');
    EXPECT_EQ(Lines(longLine + "\r\nnext"), (std::vector<std::string>{longLine, "next"}));
}

TEST(SkipByteOrderMark, SkipsAWholeUtf8MarkOnlyAndRefusesUtf16) {
    struct Case {
        std::string bytes;
        bool readable;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBF" "FARMER ID,H1\r\nA", true, {"FARMER ID,H1", "A"}},
        {"\xEF\xBB\xBF", true, {}},
        {"\xEF\xBB" "x\n", true, {"\xEF\xBB" "x"}},  // not a mark: every byte stays
        {"\xEF", true, {"\xEF"}},
        {"a\xEF\xBB\xBF", true, {"a\xEF\xBB\xBF"}},  // only at the start
        {"\xFF" "a", true, {"\xFF" "a"}},
        {"", true, {}},
        {"\xFF\xFE" "a", false, {}},
        {"\xFE\xFF", false, {}},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.bytes);
        EXPECT_EQ(SkipByteOrderMark(in), c.readable) << c.bytes;
        if (!c.readable) continue;
        std::vector<std::string> lines;
        for (std::string line; ReadTextLine(in, line);) lines.push_back(line);
        EXPECT_EQ(lines, c.lines) << c.bytes;
    }
}

TEST(SplitCsvLine, QuotesProtectCommasAndAreDropped) {
    CsvFields f;
    SplitCsvLine(R"(FARMER ID,"Smith, J",""," 12 ""Main"" Rd ",,x)", f);
    EXPECT_EQ(f[0], "FARMER ID");
    EXPECT_EQ(f[1], "Smith, J");
    EXPECT_EQ(f[2], "");
    EXPECT_EQ(f[3], "12 Main Rd");  // a doubled quote yields nothing, not a quote
    EXPECT_EQ(f[4], "");
    EXPECT_EQ(f[5], "x");
    EXPECT_EQ(f[6], "");
}

TEST(SplitCsvLine, TrimsSpacesAndNulsButKeepsTabs) {
    CsvFields f;
    SplitCsvLine(std::string_view("  a  ,\tb\t, c d "), f);
    EXPECT_EQ(f[0], "a");
    EXPECT_EQ(f[1], "\tb\t");
    EXPECT_EQ(f[2], "c d");
}

TEST(SplitCsvLine, StopsAtANulCharacter) {
    CsvFields f;
    SplitCsvLine(std::string_view("a,b\0,c", 6), f);
    EXPECT_EQ(f[1], "b");
    EXPECT_EQ(f[2], "");
}

TEST(SplitCsvLine, CutsLongFieldsAndIgnoresFieldsAfterTheHundredth) {
    CsvFields f;
    std::string line = std::string(300, 'y') + ",z";
    for (int i = 3; i <= 120; ++i) line += "," + std::to_string(i);
    SplitCsvLine(line, f);
    EXPECT_EQ(f[0], std::string(255, 'y'));
    EXPECT_EQ(f[1], "z");
    EXPECT_EQ(f[99], "100");

    SplitCsvLine("only", f);  // every slot is cleared for the next line
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f[99], "");
}

// A splitter reused line after line clears what the line before set, whichever way (plain or
// quoted) either line was split, as a fresh split does.
TEST(CsvSplitter, EachLineSplitsAsAFreshSplitDoes) {
    std::string wide = "a";
    for (int i = 2; i <= 100; ++i) wide += "," + std::to_string(i);
    const std::vector<std::string> lines = {
        wide, "x,,y", R"(q,"r, s",,t)", "only", std::string("a,b\0,c,d", 8), wide + ",\"w\"", ",,,,,,,,z", "",
        std::string(40, ',') + "late", "a,\"b"};
    CsvSplitter splitter;
    for (const std::string& line : lines) {
        CsvFields fresh;
        SplitCsvLine(line, fresh);
        const CsvFieldViews& reused = splitter.Split(line);
        for (std::size_t i = 0; i < fresh.size(); ++i) EXPECT_EQ(reused[i], fresh[i]) << line << " field " << i;
    }
}

// ---- herd files -------------------------------------------------------------------------

// A lactation row of 79 columns; columns are numbered from 1 as in the file.
std::string Row(const std::map<int, std::string>& columns) {
    std::string row;
    for (int col = 1; col <= 79; ++col) {
        if (col > 1) row += ',';
        auto it = columns.find(col);
        if (it != columns.end()) row += it->second;
    }
    return row;
}

// Column of service entry k (1..14) field f (0 date, 1 AI, 2 sire, 3 technician).
int ServiceCol(int k, int f) { return 12 + 4 * (k - 1) + f; }
int TestCol(int k, int f) { return 68 + 2 * (k - 1) + f; }

class HerdFile : public ::testing::Test {
protected:
    HerdFile() {
        SetToday(2026, 6, 1);
        dir_ = fs::path(::testing::TempDir()) /
               ("herd_file_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir_);
    }
    ~HerdFile() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string Write(const std::string& text, const std::string& name = "herd.csv") {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    bool Load(const std::string& text) {
        return LoadHerdFile(Write(text), "H1", list, header);
    }

    FullCowRecord Record(int index) {
        FullCowRecord record;
        list->GetRecord(index, record);
        return record;
    }

    FullCowRecord Find(const std::string& cow, Date calved) {
        FullCowRecord record;
        int index = 0;
        EXPECT_TRUE(list->LocateRecord(MakeHerdKey(cow, calved), record, index))
            << cow << " calved " << calved;
        return record;
    }

    testing::RecordingServices services;
    std::unique_ptr<HerdList> list;
    HerdHeaderFields header;
    fs::path dir_;
};

TEST_F(HerdFile, KeyIsTheCowCutOrFilledToElevenThenTheCalvingDayInNine) {
    EXPECT_EQ(MakeHerdKey("12345", 38000), "12345          38000");
    EXPECT_EQ(MakeHerdKey("ABCDEFGHIJKLMN", 0), "ABCDEFGHIJK        0");
}

TEST_F(HerdFile, IdentificationAndHeadingRowsAloneGiveAnEmptyHerd) {
    ASSERT_TRUE(Load("Farmer Id,H1234,\"Smith, J\",\"1 Road, Town\"\r\ncowid,Calved,Induced\r\n"));
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(header[0], "Farmer Id");
    EXPECT_EQ(header[1], "H1234");
    EXPECT_EQ(header[2], "Smith, J");
    EXPECT_EQ(header[3], "1 Road, Town");
    EXPECT_TRUE(services.statuses.empty());  // no lactation row, no progress window
    EXPECT_TRUE(services.infos.empty());
    EXPECT_EQ(services.pumps, 2);
}

TEST_F(HerdFile, AFileThatCannotBeOpenedGivesFalseAnEmptyListAndLeavesTheHeader) {
    header[1] = "kept";
    EXPECT_FALSE(LoadHerdFile((dir_ / "missing.csv").string(), "H1", list, header));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(header[1], "kept");
    EXPECT_FALSE(LoadHerdFile(dir_.string(), "H1", list, header));  // a folder is no file
    EXPECT_TRUE(services.infos.empty());
}

TEST_F(HerdFile, AUtf8MarkIsSkippedAndUtf16IsRefusedWithAMessage) {
    const std::string herd = "FARMER ID,H1234,M\xC3\xBCller\r\nA1,01/08/2023\r\nB2,31/02/2023\r\n";
    ASSERT_TRUE(Load("\xEF\xBB\xBF" + herd));
    EXPECT_EQ(header[0], "FARMER ID");
    EXPECT_EQ(header[2], "M\xC3\xBCller");  // the bytes as read
    EXPECT_EQ(list->Count(), 1);
    ASSERT_EQ(services.infos.size(), 1u);  // the bad row keeps its line number
    EXPECT_NE(services.infos[0].find(" at line 3\r\n"), std::string::npos) << services.infos[0];

    services.infos.clear();
    header[1] = "kept";
    std::string utf16 = "\xFF\xFE";
    for (const char c : herd) utf16 += std::string{c, '\0'};
    EXPECT_FALSE(Load(utf16));
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(header[1], "kept");
    EXPECT_EQ(services.infos, std::vector<std::string>{kUtf16TextMessage});
}

// A picture renamed .csv is refused whole with one message; a herd file of many bad rows
// gives ten row messages and one count of the rest. The rows that can be read still load.
TEST_F(HerdFile, AFileThatIsNotTextIsRefusedAndBadRowMessagesStopAtTen) {
    auto badRows = [](int count) {
        std::string text = Row({{1, "Good"}, {2, "01/08/25"}}) + "\r\n";
        for (int i = 0; i < count; ++i) text += Row({{1, "B" + std::to_string(i)}, {2, "31/02/06"}}) + "\r\n";
        return text;
    };
    std::string png = "\x89PNG\r\n\x1A\n";
    png += std::string("\0\0\0\rIHDR", 8) + std::string(4000, 'x');
    const std::string controls(400, '\x01');
    const std::string herd = Row({{1, "Good"}, {2, "01/08/25"}}) + "\r\n";
    struct Case {
        const char* name;
        std::string text;
        bool refused;
        std::size_t rowMessages;  // "Error ... at line n" boxes
        std::string last;         // the last message
    };
    const Case cases[] = {
        {"a picture", png, true, 0, ""},
        {"a NUL at the end of the first 4 KB", std::string(4095, 'x') + '\0', true, 0, ""},
        {"a NUL after the first 4 KB", herd + std::string(4096, ' ') + '\0', false, 0, ""},
        {"one control byte in ten", controls + std::string(3600, 'x'), false, 0, ""},
        {"more than one in ten", controls + "\x01" + std::string(3600, 'x'), true, 0, ""},
        {"old DOS end mark and form feed", herd + "\f\x1A", false, 0, ""},
        {"ten bad rows", badRows(10), false, 10, ""},
        {"eleven", badRows(11), false, 10, "1 further row could not be read and was skipped"},
        {"fifty", badRows(50), false, 10, "40 further rows could not be read and were skipped"},
    };
    for (const Case& c : cases) {
        services.infos.clear();
        services.kinds.clear();
        header[1] = "kept";
        const std::string path = Write(c.text);
        if (c.refused) {
            try {
                LoadHerdFile(path, "H1", list, header);
                ADD_FAILURE() << c.name << ": not refused";
            } catch (const NotHerdFileError& e) {
                EXPECT_EQ(std::string(e.what()), path + " is not a herd CSV file") << c.name;
            }
            EXPECT_EQ(header[1], "kept") << c.name;
            EXPECT_TRUE(services.infos.empty()) << c.name;
            continue;
        }
        ASSERT_TRUE(LoadHerdFile(path, "H1", list, header)) << c.name;
        std::size_t rowMessages = 0;
        for (const std::string& info : services.infos) rowMessages += info.rfind("Error ", 0) == 0;
        EXPECT_EQ(rowMessages, c.rowMessages) << c.name;
        EXPECT_EQ(services.infos.size(), c.rowMessages + (c.last.empty() ? 0 : 1)) << c.name;
        if (!c.last.empty()) {
            EXPECT_EQ(services.infos.back(), c.last) << c.name;
        }
        for (const MessageKind kind : services.kinds) EXPECT_EQ(kind, MessageKind::Warning) << c.name;
        if (c.rowMessages > 0) {
            EXPECT_EQ(list->Count(), 1) << c.name;  // Good; no bad row left a key
        }
    }
}

TEST_F(HerdFile, ProgressNamesTheHerdFromTheLatestIdentificationRow) {
    ASSERT_TRUE(Load("FARMER ID,First\nFARMER ID,Second,Owner\nCOWID\n" +
                     Row({{1, "C1"}, {2, "01/08/25"}}) + "\n" + Row({{1, "C2"}, {2, "02/08/25"}})));
    EXPECT_EQ(services.statuses, std::vector<std::string>{"Extracting Tamsel data for Second"});
    EXPECT_EQ(services.openStatusWindows, 0);  // closed at the end of the read
    EXPECT_EQ(header[1], "Second");
    EXPECT_EQ(header[2], "Owner");
    EXPECT_EQ(list->Count(), 2);
}

TEST_F(HerdFile, ALactationRowFillsEveryColumnItUses) {
    std::map<int, std::string> row{{1, "Daisy"}, {2, "15/08/25"}, {3, "i"},  {4, "01/05/26"},
                                   {7, "TRUE"},  {8, "20/05/26"}, {9, "3"},  {10, "270"},
                                   {11, "4500.5"}};
    row[ServiceCol(1, 0)] = "01/10/25";
    row[ServiceCol(1, 1)] = " true ";
    row[ServiceCol(1, 2)] = "SIRE-0123456789";
    row[ServiceCol(1, 3)] = "tech01";
    row[ServiceCol(2, 0)] = "22-10-25";
    row[ServiceCol(2, 1)] = "FALSE";
    row[TestCol(1, 0)] = "15.12.2025";
    row[TestCol(1, 1)] = "9";
    ASSERT_TRUE(Load(Row(row)));
    ASSERT_EQ(list->Count(), 1);
    const FullCowRecord r = Record(1);
    EXPECT_EQ(r.Key, MakeHerdKey("Daisy", MakeDate(15, 8, 2025)));
    EXPECT_EQ(r.Calved, MakeDate(15, 8, 2025));
    EXPECT_EQ(r.InducedCode, 1);
    EXPECT_TRUE(r.Induced);
    EXPECT_EQ(r.Dryoff, MakeDate(1, 5, 2026));
    EXPECT_EQ(r.NextCalve, 0);
    EXPECT_EQ(r.Culled, MakeDate(20, 5, 2026));
    EXPECT_FALSE(r.ETCow);  // column 7 is never read
    EXPECT_EQ(r.Age, 3);
    EXPECT_EQ(r.Days, 270);
    EXPECT_EQ(r.Litres, 4500);  // halves to the even neighbour
    EXPECT_EQ(r.Services[0].Date, MakeDate(1, 10, 2025));
    EXPECT_TRUE(r.Services[0].AI);
    EXPECT_TRUE(r.Services[0].HasSire);
    EXPECT_EQ(list->Technician(r.Services[0].Tech), "tech01");  // technicians are kept as written
    EXPECT_EQ(r.Services[1].Date, MakeDate(22, 10, 2025));
    EXPECT_FALSE(r.Services[1].AI);
    EXPECT_FALSE(r.Services[1].HasSire);
    EXPECT_EQ(r.Services[1].Tech, 0u);
    EXPECT_EQ(r.Services[2], ServiceRecord{});
    EXPECT_EQ(r.PregTests[0].Date, MakeDate(15, 12, 2025));
    EXPECT_EQ(r.PregTests[0].Weeks, 9);
}

TEST_F(HerdFile, CalvingDateDecidesWhetherTheRowIsKept) {
    ASSERT_TRUE(Load(Row({{1, "NoDate"}, {2, "--/--/--"}}) + "\n" + Row({{1, "Dropped"}}) + "\n" +
                     Row({{2, "01/08/25"}})));
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(Record(1).Key, MakeHerdKey("NoDate", 0));
    EXPECT_EQ(Record(1).Calved, 0);
    EXPECT_TRUE(services.infos.empty());
}

TEST_F(HerdFile, DateSpellingsOfOneDayMakeOneLactation) {
    ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "12-05-05"}, {10, "100"}}) + "\n" +
                     Row({{1, "C1"}, {2, "12.05.05"}, {11, "3000"}}) + "\n" +
                     Row({{1, "c1"}, {2, "12/05/2005"}, {9, "4"}})));
    ASSERT_EQ(list->Count(), 1);
    const FullCowRecord r = Record(1);
    EXPECT_EQ(r.Calved, MakeDate(12, 5, 2005));
    // Later rows overwrite what they carry and keep the rest.
    EXPECT_EQ(r.Days, 100);
    EXPECT_EQ(r.Litres, 3000);
    EXPECT_EQ(r.Age, 4);
    EXPECT_EQ(r.Key, MakeHerdKey("c1", MakeDate(12, 5, 2005)));  // the last row's key text
}

TEST_F(HerdFile, CowIdsAgreeingInTheirFirstElevenCharactersShareALactation) {
    ASSERT_TRUE(Load(Row({{1, "ABCDEFGHIJK-1"}, {2, "01/08/25"}}) + "\n" +
                     Row({{1, "ABCDEFGHIJK-2"}, {2, "01/08/25"}})));
    EXPECT_EQ(list->Count(), 1);
}

TEST_F(HerdFile, ALaterRowRefillsServiceSlotsFromTheFirst) {
    std::map<int, std::string> first{{1, "C1"}, {2, "01/08/25"}};
    for (int k = 1; k <= 3; ++k) {
        first[ServiceCol(k, 0)] = std::to_string(k) + "/10/25";
        first[ServiceCol(k, 3)] = "T" + std::to_string(k);
    }
    std::map<int, std::string> second{{1, "C1"}, {2, "01/08/25"}};
    second[ServiceCol(1, 0)] = "--/--/--";  // leaves no gap
    second[ServiceCol(2, 0)] = "20/10/25";
    second[ServiceCol(2, 3)] = "NEW";
    ASSERT_TRUE(Load(Row(first) + "\n" + Row(second)));
    ASSERT_EQ(list->Count(), 1);
    const FullCowRecord r = Record(1);
    EXPECT_EQ(r.Services[0].Date, MakeDate(20, 10, 2025));
    EXPECT_EQ(list->Technician(r.Services[0].Tech), "NEW");
    EXPECT_EQ(list->Technician(r.Services[1].Tech), "T2");
    EXPECT_EQ(list->Technician(r.Services[2].Tech), "T3");
}

// The list holds only the slots in use: a key met again takes more where its earlier row
// left off, whether that row was read just before, before another cow's, or gave it as the
// next calving of an earlier lactation.
TEST_F(HerdFile, AKeyMetAgainKeepsTheSlotsOfItsEarlierRowBeyondItsOwn) {
    std::map<int, std::string> first{{1, "C1"}, {2, "01/08/25"}};
    first[ServiceCol(1, 0)] = "01/10/25";
    first[TestCol(1, 0)] = "01/11/25";
    first[TestCol(1, 1)] = "6";
    std::map<int, std::string> other{{1, "C2"}, {2, "01/08/25"}};
    other[ServiceCol(1, 0)] = "02/10/25";
    other[ServiceCol(2, 0)] = "03/10/25";
    other[TestCol(1, 0)] = "02/11/25";
    other[TestCol(1, 1)] = "5";
    const std::string earlier = Row({{1, "C1"}, {2, "01/08/24"}, {5, "01/08/25"}});  // no slots
    std::map<int, std::string> again{{1, "C1"}, {2, "01/08/25"}};
    for (int k = 1; k <= 3; ++k) again[ServiceCol(k, 0)] = std::to_string(10 + k) + "/10/25";
    again[TestCol(1, 0)] = "05/11/25";  // dated without weeks: their slots used up, not written
    again[TestCol(2, 0)] = "06/11/25";
    again[TestCol(3, 0)] = "01/12/25";
    again[TestCol(3, 1)] = "10";
    const PregTestRecord firstTest{MakeDate(1, 11, 2025), 6};
    const struct {
        const char* name;
        std::string rows;
        Date firstService;        // C1's first slot
        PregTestRecord testOne;   // and first test
        bool other;               // C2 read too
    } cases[] = {
        {"just after", Row(first) + "\n" + Row(again), MakeDate(11, 10, 2025), firstTest, false},
        {"after another cow", Row(first) + "\n" + Row(other) + "\n" + Row(again), MakeDate(11, 10, 2025), firstTest, true},
        {"first as a next calving", earlier + "\n" + Row(other) + "\n" + Row(again), MakeDate(11, 10, 2025), {}, true},
        {"the fewer last", Row(again) + "\n" + Row(other) + "\n" + Row(first), MakeDate(1, 10, 2025), firstTest, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(c.rows));
        const FullCowRecord r = Find("C1", MakeDate(1, 8, 2025));
        ASSERT_EQ(ServiceSlotsInUse(r), 3);
        ASSERT_EQ(TestSlotsInUse(r), 3);
        EXPECT_EQ(r.Services[0].Date, c.firstService);
        EXPECT_EQ(r.Services[1].Date, MakeDate(12, 10, 2025));
        EXPECT_EQ(r.Services[2].Date, MakeDate(13, 10, 2025));
        EXPECT_EQ(r.PregTests[0], c.testOne);
        EXPECT_EQ(r.PregTests[1], PregTestRecord{});
        EXPECT_EQ(r.PregTests[2], (PregTestRecord{MakeDate(1, 12, 2025), 10}));
        if (!c.other) continue;
        const FullCowRecord o = Find("C2", MakeDate(1, 8, 2025));  // untouched by C1's slots
        ASSERT_EQ(ServiceSlotsInUse(o), 2);
        ASSERT_EQ(TestSlotsInUse(o), 1);
        EXPECT_EQ(o.Services[1].Date, MakeDate(3, 10, 2025));
        EXPECT_EQ(o.PregTests[0], (PregTestRecord{MakeDate(2, 11, 2025), 5}));
    }
}

TEST_F(HerdFile, AServiceDatedWithDotDashesTakesASlotWithoutADate) {
    std::map<int, std::string> row{{1, "C1"}, {2, "01/08/25"}};
    row[ServiceCol(1, 0)] = "--.--.--";
    row[ServiceCol(1, 2)] = "HEAT";
    row[ServiceCol(2, 0)] = "05/10/25";
    ASSERT_TRUE(Load(Row(row)));
    const FullCowRecord r = Record(1);
    EXPECT_EQ(r.Services[0].Date, 0);
    EXPECT_TRUE(r.Services[0].HasSire);
    EXPECT_EQ(r.Services[1].Date, MakeDate(5, 10, 2025));
}

TEST_F(HerdFile, ATestWithoutWeeksUsesUpItsSlotWithoutWritingIt) {
    std::map<int, std::string> first{{1, "C1"}, {2, "01/08/25"}};
    first[TestCol(1, 0)] = "01/11/25";
    first[TestCol(1, 1)] = "6";
    std::map<int, std::string> second{{1, "C1"}, {2, "01/08/25"}};
    second[TestCol(1, 0)] = "not even a date";  // not read when the weeks are empty
    second[TestCol(2, 0)] = "01/12/25";
    second[TestCol(2, 1)] = "10";
    ASSERT_TRUE(Load(Row(first) + "\n" + Row(second)));
    const FullCowRecord r = Record(1);
    EXPECT_EQ(r.PregTests[0], (PregTestRecord{MakeDate(1, 11, 2025), 6}));
    EXPECT_EQ(r.PregTests[1], (PregTestRecord{MakeDate(1, 12, 2025), 10}));
    EXPECT_TRUE(services.infos.empty());
}

TEST_F(HerdFile, NextCalvingMakesTheFollowingLactation) {
    std::map<int, std::string> row{{1, "C1"},         {2, "01/08/05"}, {5, "10/03/2006"},
                                   {6, "A"},          {8, "01/09/06"}, {9, "3"},
                                   {10, "250"},       {11, "4000"}};
    row[ServiceCol(1, 0)] = "01/11/05";
    ASSERT_TRUE(Load(Row(row)));
    ASSERT_EQ(list->Count(), 2);
    const FullCowRecord first = Find("C1", MakeDate(1, 8, 2005));
    EXPECT_EQ(first.NextCalve, MakeDate(10, 3, 2006));
    EXPECT_EQ(first.NextInducedCode, 2);
    EXPECT_TRUE(first.NextInduced);

    FullCowRecord expected;
    expected.Key = MakeHerdKey("C1", MakeDate(10, 3, 2006));
    expected.Calved = MakeDate(10, 3, 2006);
    expected.InducedCode = 2;
    expected.Induced = true;
    expected.Culled = MakeDate(1, 9, 2006);
    expected.Age = 4;
    expected.SetSlotsInUse(0, 0);  // known from its next calving alone: no services, no tests
    EXPECT_EQ(Find("C1", MakeDate(10, 3, 2006)), expected);
}

TEST_F(HerdFile, NextCalvingOverwritesCullingAndInductionOfAnExistingLactation) {
    const std::string later = Row({{1, "C1"}, {2, "10/03/06"}, {3, "L"}, {8, "01/01/07"},
                                   {9, "4"}, {10, "280"}});
    const std::string earlier = Row({{1, "C1"}, {2, "01/08/05"}, {5, "10/03/06"}, {9, "0"}});
    ASSERT_TRUE(Load(later + "\n" + earlier));
    ASSERT_EQ(list->Count(), 2);
    const FullCowRecord next = Find("C1", MakeDate(10, 3, 2006));
    EXPECT_EQ(next.Culled, 0);        // the earlier row had no culling date
    EXPECT_EQ(next.InducedCode, 3);   // empty induction leaves the code
    EXPECT_EQ(next.Age, 4);           // age 0 is not carried on
    EXPECT_EQ(next.Days, 280);
}

TEST_F(HerdFile, NextCalvingWithoutADateMakesNoLactation) {
    ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "01/08/05"}, {5, "--/--/----"}, {6, "I"}})));
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(Record(1).NextInducedCode, 1);
    EXPECT_TRUE(Record(1).NextInduced);  // the flag follows the text of the column
}

TEST_F(HerdFile, InductionTextsGiveCodesAndFlags) {
    struct Case {
        const char* text;
        int code;
        bool flag;
    };
    const Case cases[] = {{"2", 2, true},    {"FALSE", 0, false}, {"N", 0, true},
                          {"no", 0, true},   {"true", 1, true},   {"Induced", 1, true},
                          {"a", 2, true},    {"L", 3, true},      {"0", 0, false},
                          {"?", 0, true},    {"", 0, false},      {"-5", 0, true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "01/08/25"}, {3, c.text}, {6, c.text}})));
        const FullCowRecord r = Record(1);
        EXPECT_EQ(r.InducedCode, c.code) << c.text;
        EXPECT_EQ(r.Induced, c.flag) << c.text;
        EXPECT_EQ(r.NextInducedCode, c.code) << c.text;
        EXPECT_FALSE(r.NextInduced) << "no next calving: " << c.text;
    }
}

TEST_F(HerdFile, YieldsAndDatesReadDirectlyAsTheGeneralReadersReadThem) {
    // Yields of digits with a decimal point and dates dd/mm/yyyy are read without the
    // general number and date readers; every spelling gives what those readers give.
    for (const char* litres : {"5738", "5738.5", "5737.5", "0.5", "1.5", "2.50", "2.501", "7.4999", "9.999999",
                               "123456789.5", "1234567890", "5.", ".5", "+7.5", "7.5x", "1.1234567", "0005.5"}) {
        ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "01/08/2025"}, {11, litres}})));
        const std::int32_t expected = TextToInt(litres);
        // A yield beyond 16 bits refuses the row, which leaves the lactation without one.
        EXPECT_EQ(Record(1).Litres, expected <= 32767 ? expected : 0) << litres;
    }
    for (const char* date : {"01/08/2025", "31/12/1999", "29/02/2024", "29/02/2023", "00/01/2025", "01/13/2025",
                             "01/01/0099", "1/8/2025", "01-08-2025"}) {
        ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "01/08/2025"}, {4, date}})));
        Date expected = 0;
        std::string slashes = date;
        std::replace_if(slashes.begin(), slashes.end(), [](char c) { return c == '-' || c == '.'; }, '/');
        try {
            expected = ParseDateText(slashes);
        } catch (const OvistaError&) {
            EXPECT_EQ(list->Count(), 1) << date;  // the row is refused; nothing else changes
            continue;
        }
        EXPECT_EQ(Record(1).Dryoff, expected) << date;
    }
}

TEST_F(HerdFile, BadRowsAreReportedWithTheirLineAndTheRestLoads) {
    const std::string text =
        "FARMER ID,H1\r\n"                                                          // line 1
        "COWID,Calved\r\n"                                                          // line 2
        + Row({{1, "Bad1"}, {2, "31/02/06"}, {3, "I"}, {7, "X"}}) + "\r\n"          // line 3
        + Row({{1, "Good"}, {2, "01/08/25"}}) + "\r\n"                              // line 4
        + "\r\n"                                                                    // line 5
        + Row({{1, "Bad2"}, {2, "01/08/25"}, {9, "2yo"}}) + "\r\n"                  // line 6
        + Row({{1, "Bad3"}, {2, "01/08/25"}, {5, "01/05/26"}, {9, "32767"}}) + "\r\n"  // 7
        + Row({{1, "Bad4"}, {2, "01/08/25"}, {11, "40000"}});                       // line 8
    ASSERT_TRUE(Load(text));
    ASSERT_EQ(services.infos.size(), 4u);
    EXPECT_EQ(services.infos[0],
              "Error '31/02/2006' is not a valid date at line 3\r\nBad1\r\n31/02/06\r\nI\r\n\r\n"
              "\r\n\r\nX");
    EXPECT_EQ(services.infos[1],
              "Error '2yo' is not a valid integer value at line 6\r\nBad2\r\n01/08/25\r\n\r\n\r\n"
              "\r\n\r\n");
    EXPECT_EQ(services.infos[2].substr(0, 34), "Error Range check error at line 7\r");
    EXPECT_EQ(services.infos[3].substr(0, 33), "Error Range check error at line 8");

    // What a bad row had stored stays: a bare key before the record was written back, the
    // complete first lactation when only the next one failed.
    FullCowRecord bare;
    bare.Key = MakeHerdKey("Bad2", MakeDate(1, 8, 2025));
    bare.SetSlotsInUse(0, 0);
    EXPECT_EQ(Find("Bad2", MakeDate(1, 8, 2025)), bare);
    EXPECT_EQ(Find("Bad3", MakeDate(1, 8, 2025)).Age, 32767);
    EXPECT_EQ(Find("Bad3", MakeDate(1, 5, 2026)).Calved, 0);
    EXPECT_EQ(Find("Good", MakeDate(1, 8, 2025)).Calved, MakeDate(1, 8, 2025));
    EXPECT_EQ(list->Count(), 5);  // Good, Bad2, Bad3, Bad3's next, Bad4 (no Bad1: no key)
}

TEST_F(HerdFile, AWholeNumberBeyondSixteenBitsIsARangeErrorHoweverLong) {
    ASSERT_TRUE(Load(Row({{1, "C1"}, {2, "01/08/25"}, {9, "99999999999999999999"}}) + "\n" +
                     Row({{1, "C2"}, {2, "01/08/25"}, {3, "-40000"}, {6, "40000"}}) + "\n" +
                     Row({{1, "C3"}, {2, "01/08/25"}, {10, "-99999999999x"}})));
    ASSERT_EQ(services.infos.size(), 3u);
    EXPECT_EQ(services.infos[0].substr(0, 33), "Error Range check error at line 1");
    EXPECT_EQ(services.infos[1].substr(0, 33), "Error Range check error at line 2");
    EXPECT_EQ(services.infos[2].substr(0, 54), "Error '-99999999999x' is not a valid integer value at ");
}

TEST_F(HerdFile, ASampleExportLoads) {
    ASSERT_TRUE(LoadHerdFile(std::string(OVISTA_TEST_DATA) + "/herd/sample_herd.csv", "label",
                             list, header));
    EXPECT_EQ(header[2], "Brown, A & B");
    EXPECT_EQ(services.statuses, std::vector<std::string>{"Extracting Tamsel data for 10045"});
    EXPECT_TRUE(services.infos.empty());
    ASSERT_EQ(list->Count(), 5);
    // Lactations of one cow stand together in calving order.
    EXPECT_EQ(Record(1).Key, MakeHerdKey("101", MakeDate(20, 7, 2024)));
    EXPECT_EQ(Record(2).Key, MakeHerdKey("101", MakeDate(28, 7, 2025)));
    EXPECT_EQ(Record(3).Key, MakeHerdKey("102", MakeDate(2, 8, 2025)));
    EXPECT_EQ(Record(4).Key, MakeHerdKey("a7", MakeDate(5, 8, 2025)));
    EXPECT_EQ(Record(5).Key, MakeHerdKey("B12", MakeDate(1, 8, 2025)));
    EXPECT_TRUE(Record(2).Services[1].HasSire);
    EXPECT_EQ(Record(2).PregTests[0].Weeks, 8);
}

TEST_F(HerdFile, AHugeLineIsOneRowAndDoesNoHarm) {
    std::string huge = Row({{1, "C1"}, {2, "01/08/25"}, {10, "200"}});
    huge += std::string(100000, 'x');  // far beyond the last column, and longer than a slice
    ASSERT_TRUE(Load(huge + "\n" + Row({{1, "C2"}, {2, "02/08/25"}}) + "\r\n" +
                     Row({{1, "C3"}, {2, "31/02/25"}})));  // the last row has no line end
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(Record(1).Days, 200);
    ASSERT_EQ(services.infos.size(), 1u);
    EXPECT_EQ(services.infos[0].substr(0, 50), "Error '31/02/2025' is not a valid date at line 3\r\n");
}

TEST_F(HerdFile, RandomBytesAreReadWithoutACrash) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::string junk(20000, '\0');
        for (char& c : junk) c = static_cast<char>(random() % 256);
        if (round % 2) {  // sprinkle separators so that rows reach the parser
            for (int i = 0; i < 3000; ++i) junk[random() % junk.size()] = ",/\n"[random() % 3];
        }
        EXPECT_THROW(Load(junk), NotHerdFileError);  // not text: refused whole
        // After 4 KB of blank lines the file passes for text, and its rows reach the parser.
        ASSERT_TRUE(Load(std::string(4096, '\n') + junk));
        for (int i = 1; i <= list->Count(); ++i) {
            EXPECT_EQ(Record(i).Key.size(), 20u);
        }
    }
}

TEST_F(HerdFile, FiveThousandLactationsLoadQuickly) {
    std::string text = "FARMER ID,Big\r\nCOWID\r\n";
    for (int cow = 0; cow < 1250; ++cow) {
        for (int year = 0; year < 4; ++year) {
            std::map<int, std::string> row{{1, "COW" + std::to_string(cow)},
                                           {2, std::to_string(1 + cow % 28) + "/08/" +
                                                   std::to_string(21 + year)},
                                           {9, std::to_string(2 + year)},
                                           {10, "280"},
                                           {11, "5123.4"}};
            for (int k = 1; k <= 3; ++k) {
                row[ServiceCol(k, 0)] = std::to_string(k * 5) + "/11/" + std::to_string(21 + year);
                row[ServiceCol(k, 1)] = "TRUE";
                row[ServiceCol(k, 2)] = "SIRE" + std::to_string(k);
                row[ServiceCol(k, 3)] = "T1";
            }
            row[TestCol(1, 0)] = "01/02/" + std::to_string(22 + year);
            row[TestCol(1, 1)] = "12";
            text += Row(row) + "\r\n";
        }
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Load(text));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(list->Count(), 5000);
    EXPECT_LT(took, std::chrono::seconds(2));  // in the order of tens of milliseconds
    std::printf("5000 lactations loaded in %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

// A large file read in two halves on two cores loads as read on one: the same lactations,
// technicians' numbers, header, status text and messages with their line numbers, also where
// a cow, an identification row, plain keys or the first lactation row stand across the halves.
TEST_F(HerdFile, TwoReadersLoadALargeFileAsOneDoes) {
    const auto rows = [](int cows, int years, const std::function<std::string(int cow, int year)>& id,
                         const std::function<std::string(int line)>& extra, bool byYear) {
        std::string text = "FARMER ID,H7,Owner\r\nCOWID,Calved\r\n";
        for (int outer = 0; outer < (byYear ? years : cows); ++outer) {
            for (int inner = 0; inner < (byYear ? cows : years); ++inner) {
                const int cow = byYear ? inner : outer;
                const int year = byYear ? outer : inner;
                std::map<int, std::string> row{{1, id(cow, year)},
                                               {2, std::to_string(1 + cow % 28) + "/08/" + std::to_string(15 + year)},
                                               {5, std::to_string(1 + cow % 28) + "/08/" + std::to_string(16 + year)},
                                               {9, std::to_string(2 + year)},
                                               {11, "5123.4"}};
                for (int k = 1; k <= 1 + cow % 3; ++k) {
                    row[ServiceCol(k, 0)] = std::to_string(k * 5) + "/11/" + std::to_string(15 + year);
                    row[ServiceCol(k, 1)] = "TRUE";
                    row[ServiceCol(k, 3)] = "T" + std::to_string((cow * 7 + k) % (cow < cows / 2 ? 3 : 9));
                }
                row[TestCol(2, 0)] = "01/02/" + std::to_string(16 + year);
                row[TestCol(2, 1)] = std::to_string(cow % 20);
                text += Row(row) + "\r\n" + extra(static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1);
            }
        }
        return text;
    };
    const auto plain = [](int cow, int) { return "C" + std::to_string(cow); };
    const auto none = [](int) { return std::string(); };
    const auto badEvery = [](int every) {
        return [every](int line) {
            return line % every == 0 ? Row({{1, "Bad" + std::to_string(line)}, {2, "01/08/25"}, {9, "x"}}) + "\r\n" : std::string();
        };
    };
    struct Case {
        const char* name;
        std::string text;
    };
    const std::string sorted = rows(400, 5, plain, none, false);
    const std::size_t middle = sorted.find('\n', sorted.size() / 2) + 1;
    const std::vector<Case> cases{
        {"sorted by cow", sorted},
        {"sorted by year", rows(400, 5, plain, none, true)},
        {"bad rows in both halves", rows(400, 5, plain, badEvery(150), false)},
        {"bad rows in the second half only", rows(400, 5, plain, [](int line) {
             return line > 1200 && line % 100 == 0 ? Row({{1, "Bad"}, {2, "31/02/25"}}) + "\r\n" : std::string();
         }, false)},
        {"a cow in other letters", rows(400, 5, [](int cow, int year) { return (year % 2 ? "c" : "C") + std::to_string(cow); }, none, false)},
        {"an identification row in the second half",
         sorted.substr(0, middle) + "FARMER ID,H8,Other\r\n" + sorted.substr(middle)},
        {"a key that is not plain in the second half",
         sorted.substr(0, middle) + Row({{1, "K\xF9"}, {2, "01/08/25"}}) + "\r\n" + sorted.substr(middle)},
        {"no lactation before the second half", std::string(sorted.size() / 2 + 1000, '\n') + sorted},
        {"many technicians", rows(400, 5, plain, none, false) + [] {
             std::string more;
             for (int i = 0; i < 300; ++i) more += Row({{1, "Z" + std::to_string(i)}, {2, "01/08/25"}, {ServiceCol(1, 0), "01/09/25"}, {ServiceCol(1, 3), "X" + std::to_string(i)}}) + "\n";
             return more;
         }()},
    };
    ASSERT_GT(sorted.size(), 256 * 1024);  // halves beyond the first slice of 64 KB and a second
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(c.text);
        struct Loaded {
            bool read;
            std::vector<std::string> keys;
            std::vector<FullCowRecord> records;
            std::vector<std::string> technicians, infos, statuses;
            HerdHeaderFields header;
        };
        const auto load = [&](int readers) {
            SetHerdFileReaders(readers, 1);
            testing::RecordingServices recorded;
            Loaded loaded;
            loaded.read = LoadHerdFile(path, "H1", list, loaded.header, recorded);
            SetHerdFileReaders(2, kTwoReaderBytes);
            for (int i = 1; i <= list->Count(); ++i) {
                loaded.keys.emplace_back(list->KeyAt(i));
                loaded.records.push_back(Record(i));
            }
            try {
                for (std::uint32_t n = 1;; ++n) loaded.technicians.emplace_back(list->Technician(n));
            } catch (const RangeError&) {
            }
            loaded.infos = recorded.infos;
            loaded.statuses = recorded.statuses;
            return loaded;
        };
        const Loaded one = load(1);
        const Loaded two = load(2);
        EXPECT_TRUE(two.read);
        EXPECT_EQ(two.read, one.read);
        EXPECT_EQ(two.keys, one.keys);
        EXPECT_TRUE(two.records == one.records);
        EXPECT_EQ(two.technicians, one.technicians);
        EXPECT_EQ(two.infos, one.infos);
        EXPECT_EQ(two.statuses, one.statuses);
        EXPECT_EQ(two.header, one.header);
    }
}

}  // namespace
}  // namespace ovista

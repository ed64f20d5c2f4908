// A batch as other software may really send it: generated herds between herd files that are
// missing, empty, random bytes or NULs, rows with invalid dates, non-integers and values
// beyond 16 bits, lines of 100,000 characters, rows of 300 fields, a herd whose mistyped
// culling year puts a day count beyond 16 bits (analysed without that lactation), a batch line without a herd file and paths with spaces
// and non-ASCII letters. Each good herd must come out exactly as in a batch of the good herds
// alone, each damaged one must be named in the log or on standard error (with the line of
// each bad row), and nothing may be written beside the five files of the transfer folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch/runs.h"
#include "batch/working_folder.h"
#include "recording_services.h"
#include "test_files.h"
#include "test_job.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;
using testing::kBatchFiles;
using testing::Lines;
using testing::PrivateFolder;
using testing::ReadFile;
using testing::WriteFile;

// Fields of a summary or conception line as written, quotes kept: split at commas outside
// quotes.
std::vector<std::string> RawFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// Every file and folder below root with its size and time of last change.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string state = entry.is_directory() ? "dir" : std::to_string(entry.file_size());
        state += " " + std::to_string(entry.last_write_time().time_since_epoch().count());
        entries[fs::relative(entry.path(), root).string()] = state;
    }
    return entries;
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A herd file's lines with one field of one row replaced (lactation rows hold no quotes).
void SetField(std::vector<std::string>& lines, std::size_t row, std::size_t column,
              const std::string& value) {
    std::vector<std::string> fields;
    std::stringstream in(lines[row]);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    if (!lines[row].empty() && lines[row].back() == ',') fields.emplace_back();
    if (fields.size() <= column) fields.resize(column + 1);
    fields[column] = value;
    std::string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) joined += (i ? "," : "") + fields[i];
    lines[row] = joined;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// How the log must name a batch line's herd file.
struct Expected {
    std::string logLine;  // the whole line, or its beginning when prefixOnly
    bool prefixOnly = false;
};

// A bad row: the message on standard error names the file, the kind of error and the line.
struct BadRow {
    std::string path;
    int line;
    std::string what;
};

class HostileBatch : public ::testing::Test {
protected:
    HostileBatch() {
        folder_ = PrivateFolder("ovista_hostile_");
        fs::remove_all(folder_);
        fs::create_directories(Work());
    }
    ~HostileBatch() override { fs::remove_all(folder_); }

    fs::path Work() const { return folder_ / "work"; }

    // Runs the program in the working folder; returns its exit status.
    int RunOvista(const std::string& batchFile, const std::string& outName) const {
        fs::create_directories(folder_ / outName);
        return testing::RunOvistaBatch(Work(), folder_ / outName, batchFile,
                                       folder_ / (outName + ".err"));
    }

    std::string Out(const std::string& outName, const char* file) const {
        return ReadFile(folder_ / outName / file);
    }

    fs::path folder_;
};

TEST_F(HostileBatch, GoodHerdsComeOutAsInACleanBatchAndEachDamagedOneIsNamed) {
    // Four generated herds: three to analyse and one too small (error code 2). The third
    // lives in a folder and file whose names hold spaces and non-ASCII letters.
    const std::string herdgen = std::string(OVISTA_BINARY_DIR) + "/tools/herdgen";
    ASSERT_TRUE(fs::exists(herdgen)) << herdgen;
    const std::string generate =
        "cd '" + Work().string() + "' && '" + herdgen +
        "' --out herds --herds 4 --seed 9 --pattern seasonal,split,yearround,seasonal"
        " --quality earlypd,mating,earlypd,earlypd --cows 60,60,60,20 --years 4"
        " --date 31/05/2026 --batch-prefix herds >/dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0);
    const std::string oddPath = "Hof Müller/Kühe März é.csv";
    fs::create_directories(Work() / "Hof Müller");
    fs::rename(Work() / "herds/herd003.csv", Work() / oddPath);
    std::vector<std::string> good = Lines(ReadFile(Work() / "herds/batch.txt"));
    ASSERT_EQ(good.size(), 4u);
    good[2].replace(0, good[2].find(','), "\"" + oddPath + "\"");
    const std::vector<std::string> goodNumbers = {"150001", "450002", "390003", "330004"};
    for (std::size_t i = 0; i < good.size(); ++i) {
        ASSERT_EQ(RawFields(good[i])[1], goodNumbers[i]) << "the generator's herd numbers changed";
    }

    // Damaged herd files; those made from herd 1 get herd numbers of their own.
    const std::vector<std::string> herd1 = Lines(ReadFile(Work() / "herds/herd001.csv"));
    auto fromHerd1 = [&](const std::string& herdNumber) {
        std::vector<std::string> lines = herd1;
        SetField(lines, 0, 1, herdNumber);
        return lines;
    };
    std::mt19937 random(20260531);
    std::string bytes(20000, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    WriteFile(Work() / "bad/empty.csv", "");
    WriteFile(Work() / "bad/random.csv", bytes);
    WriteFile(Work() / "bad/nul.csv", std::string(5000, '\0'));

    // Line n of the file is lines[n - 1]; rows of lactations start at line 3.
    std::vector<std::string> lines = fromHerd1("BAD05");
    lines[2] = std::string(40, '\0') + lines[2];
    lines[3].insert(lines[3].find(',', 30), std::string(1, '\0'));
    WriteFile(Work() / "bad/nul bytes.csv", Join(lines));

    lines = fromHerd1("BAD06");
    SetField(lines, 2, 1, "31/02/2024");   // calving
    SetField(lines, 3, 3, "abc");          // dry-off
    SetField(lines, 4, 11, "99/99/99");    // first service
    SetField(lines, 5, 4, "1/13/2025");    // next calving
    WriteFile(Work() / "bad/dates.csv", Join(lines));

    lines = fromHerd1("BAD07");
    SetField(lines, 2, 8, "3.5");          // age
    SetField(lines, 3, 9, "2yo");          // days in milk
    SetField(lines, 4, 67, "15/01/2024");  // pregnancy test with weeks "x"
    SetField(lines, 4, 68, "x");
    SetField(lines, 5, 2, "7b");           // induction code
    WriteFile(Work() / "bad/integers.csv", Join(lines));

    lines = fromHerd1("BAD08");
    SetField(lines, 2, 8, "40000");
    SetField(lines, 3, 9, "-99999999999999999999");
    SetField(lines, 4, 10, "1e9");
    SetField(lines, 5, 2, "70000");
    SetField(lines, 6, 67, "15/01/2024");
    SetField(lines, 6, 68, "32768");
    WriteFile(Work() / "bad/range.csv", Join(lines));

    lines = fromHerd1("BAD09");
    lines.insert(lines.begin() + 2, std::string(100000, 'A'));
    lines.insert(lines.begin() + 3, "\"" + std::string(100000, ','));
    SetField(lines, 5, 11, "01/01/2023");
    SetField(lines, 5, 13, std::string(100000, 'S'));
    WriteFile(Work() / "bad/long.csv", Join(lines));

    lines = fromHerd1("BAD10");
    for (std::size_t row = 2; row < lines.size(); ++row) SetField(lines, row, 299, "JUNK");
    SetField(lines, 3, 150, "31/02/2024");
    WriteFile(Work() / "bad/wide.csv", Join(lines));

    lines = fromHerd1("BAD11");
    SetField(lines, 2, 4, "");  // no next calving: culled before it
    SetField(lines, 2, 7, "31/12/2200");
    WriteFile(Work() / "bad/cull 2200.csv", Join(lines));

    WriteFile(Work() / "bad/date field.csv", Join(fromHerd1("BAD12")));

    const std::vector<std::string> hostile = {
        "bad/missing.csv,BAD01,Nobody,Nowhere,31/05/2026",
        good[0],
        "bad/empty.csv,BAD02,Nobody,Nowhere,31/05/2026",
        "bad/random.csv,BAD03,Nobody,Nowhere,31/05/2026",
        "bad/nul.csv,BAD04,Nobody,Nowhere,31/05/2026",
        "bad/nul bytes.csv,x,Nobody,Nowhere,31/05/2026",
        good[1],
        "bad/dates.csv,x,Nobody,Nowhere,31/05/2026",
        "bad/integers.csv,x,Nobody,Nowhere,31/05/2026",
        ",BAD13,Nobody,Nowhere,31/05/2026",
        "bad/range.csv,x,Nobody,Nowhere,31/05/2026",
        "bad/long.csv,x,Nobody,Nowhere,31/05/2026",
        good[2],
        "bad/wide.csv,x,Nobody,Nowhere,31/05/2026",
        "  ,  ,,,",
        "bad/cull 2200.csv,x,Nobody,Nowhere,31/05/2026",
        "\"bad/date field.csv\",x,Nobody,Nowhere,31/02/2026",
        "\"Fehlt März/ö ü.csv\",BAD14,Nobody,Nowhere,31/05/2026",
        good[3],
    };
    std::string cleanText, hostileText;
    for (const std::string& line : good) cleanText += line + "\r\n";
    for (const std::string& line : hostile) hostileText += line + "\r\n";
    WriteFile(Work() / "clean.txt", cleanText);
    WriteFile(Work() / "hostile.txt", hostileText);

    const auto before = Snapshot(Work());
    ASSERT_EQ(RunOvista("clean.txt", "clean"), 0) << ReadFile(folder_ / "clean.err");
    ASSERT_EQ(RunOvista("hostile.txt", "hostile"), 0) << ReadFile(folder_ / "hostile.err");
    EXPECT_EQ(Snapshot(Work()), before) << "the run changed its current folder";
    const std::set<std::string> five(std::begin(kBatchFiles), std::end(kBatchFiles));
    EXPECT_EQ(Names(folder_ / "hostile"), five);
    EXPECT_EQ(Names(folder_ / "clean"), five);

    // The log: one line per batch line with a herd file, in batch order.
    const std::vector<std::string> cleanLog = Lines(Out("clean", "QMRBATCH.REP"));
    ASSERT_EQ(cleanLog.size(), 4u);
    EXPECT_EQ(cleanLog[3], "Analysis failes for herds/herd004.csv with error code 2");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cleanLog[i].rfind("Data analysed from ", 0), 0u);
    const std::vector<Expected> expected = {
        {"Could not load data from bad/missing.csv"},
        {cleanLog[0]},
        {"Analysis failes for bad/empty.csv with error code 2"},
        // Files with a NUL in their first 4 KB are not text: refused whole.
        {"Could not load data from bad/random.csv"},
        {"Could not load data from bad/nul.csv"},
        {"Could not load data from bad/nul bytes.csv"},
        {cleanLog[1]},
        {"Data analysed from bad/dates.csv"},
        {"Data analysed from bad/integers.csv"},
        {"Data analysed from bad/range.csv"},
        {"Data analysed from bad/long.csv"},
        {cleanLog[2]},
        {"Data analysed from bad/wide.csv"},
        {"Data analysed from bad/cull 2200.csv"},
        {"Analysis failes for bad/date field.csv: '31/02/2026' is not a valid date"},
        {"Could not load data from Fehlt März/ö ü.csv"},
        {cleanLog[3]},
    };
    const std::vector<std::string> log = Lines(Out("hostile", "QMRBATCH.REP"));
    ASSERT_EQ(log.size(), expected.size()) << Out("hostile", "QMRBATCH.REP");
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (expected[i].prefixOnly) {
            EXPECT_EQ(log[i].rfind(expected[i].logLine, 0), 0u) << log[i];
        } else {
            EXPECT_EQ(log[i], expected[i].logLine);
        }
    }

    // The summary and conception lines of the good herds, the report date aside.
    auto rowsOf = [](const std::string& text, const std::set<std::string>& herds) {
        std::vector<std::string> rows;
        for (const std::string& line : Lines(text)) {
            std::vector<std::string> fields = RawFields(line);
            if (fields.size() < 5 || herds.count(fields[2]) == 0) continue;
            fields[4] = "REPORTDATE";
            std::string row;
            for (const std::string& field : fields) row += field + ",";
            rows.push_back(row);
        }
        return rows;
    };
    auto conceptionsOf = [](const std::string& text, const std::set<std::string>& herds) {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(text)) {
            if (herds.count(RawFields(line)[0]) != 0) lines.push_back(line);
        }
        return lines;
    };
    const std::set<std::string> goodHerds(goodNumbers.begin(), goodNumbers.end());
    const std::string cleanSummary = Out("clean", "TAMSLREP.CSV");
    const std::string hostileSummary = Out("hostile", "TAMSLREP.CSV");
    EXPECT_EQ(Lines(hostileSummary)[0], Lines(cleanSummary)[0]);
    EXPECT_EQ(rowsOf(cleanSummary, goodHerds).size(), 3u);
    EXPECT_EQ(rowsOf(hostileSummary, goodHerds), rowsOf(cleanSummary, goodHerds));
    EXPECT_EQ(conceptionsOf(Out("hostile", "CONCEPS.CSV"), goodHerds),
              conceptionsOf(Out("clean", "CONCEPS.CSV"), goodHerds));
    // Failed herds leave no row; columns past the 79th change nothing.
    EXPECT_EQ(rowsOf(hostileSummary, {"BAD11"}).size(), 1u);
    EXPECT_TRUE(rowsOf(hostileSummary, {"BAD12"}).empty());
    std::vector<std::string> wide = RawFields(rowsOf(hostileSummary, {"BAD10"}).at(0));
    std::vector<std::string> herd1Row = RawFields(rowsOf(cleanSummary, {"150001"}).at(0));
    wide[2] = herd1Row[2] = "SHNO";
    EXPECT_EQ(wide, herd1Row);

    // Standard error names the file and the line of every bad row.
    const std::vector<std::string> messages = Lines(ReadFile(folder_ / "hostile.err"));
    const std::vector<BadRow> badRows = {
        {"bad/dates.csv", 3, "is not a valid date"},
        {"bad/dates.csv", 4, "is not a valid date"},
        {"bad/dates.csv", 5, "is not a valid date"},
        {"bad/dates.csv", 6, "is not a valid date"},
        {"bad/integers.csv", 3, "'3.5' is not a valid integer value"},
        {"bad/integers.csv", 4, "'2yo' is not a valid integer value"},
        {"bad/integers.csv", 5, "'x' is not a valid integer value"},
        {"bad/integers.csv", 6, "'7B' is not a valid integer value"},
        {"bad/range.csv", 3, "Range check error"},
        {"bad/range.csv", 4, "Range check error"},
        {"bad/range.csv", 5, "Range check error"},
        {"bad/range.csv", 6, "Range check error"},
        {"bad/range.csv", 7, "Range check error"},
    };
    for (const BadRow& bad : badRows) {
        const std::string head = bad.path + ": Error ";
        const std::string tail = " at line " + std::to_string(bad.line);
        bool found = false;
        for (const std::string& message : messages) {
            found = found || (message.rfind(head, 0) == 0 && message.find(bad.what) != std::string::npos &&
                              message.size() >= tail.size() &&
                              message.compare(message.size() - tail.size(), tail.size(), tail) == 0);
        }
        EXPECT_TRUE(found) << "no message for " << bad.path << tail << " (" << bad.what << ")";
    }
    for (const std::string& message : messages) {
        EXPECT_EQ(message.find("bad/random.csv: "), std::string::npos) << message;  // no row messages
        EXPECT_EQ(message.find("bad/wide.csv"), std::string::npos) << message;
        EXPECT_EQ(message.find("bad/long.csv"), std::string::npos) << message;
    }
    for (const char* refused : {"bad/random.csv", "bad/nul.csv", "bad/nul bytes.csv"}) {
        EXPECT_EQ(std::count(messages.begin(), messages.end(),
                             std::string(refused) + " is not a herd CSV file"), 1) << refused;
    }
    const std::vector<std::string> cull2200 = RawFields(herd1[2]);
    const std::string leftOut = "bad/cull 2200.csv: lactation " + cull2200[0] + " calved " +
                                cull2200[1] + " left out: culling date 31/12/2200 is more than" +
                                " 25 years from the analysis date";
    EXPECT_EQ(std::count(messages.begin(), messages.end(), leftOut), 1) << leftOut;
}

// The same naming inside the program: the reader's and the analysis's messages start with
// the herd file they are about; the run's own messages, which name it already, do not.
TEST(HostileBatchMessages, ABadRowIsReportedWithItsFileAndLine) {
    testing::RecordingServices services;
    const fs::path folder = PrivateFolder("ovista_hostile_messages_");
    fs::remove_all(folder);
    WriteFile(folder / "herd.csv", "CowID,Calved,Induced,Dryoff\r\nA1,01/08/2023\r\nB2,31/02/2023\r\n");
    WriteFile(folder / "batch.txt", (folder / "herd.csv").string() + ",H1,,,15/06/2024\r\n");
    RunSteps steps = StandardRunSteps();
    steps.analyse = [](const std::string&, Date, const std::string&, const std::string&,
                       HerdList& herd, HerdReport& report, const std::string&,
                       const SummaryWriter&, UserServices& messages, CowLists*, ReportExtent) {
        messages.ShowInfo("analysed " + std::to_string(herd.Count()));
        report.Error = 2;
    };
    ReportOutput preview;
    preview.preview = true;
    EXPECT_TRUE(RunBatch(testing::Job(steps, folder.string(), preview), (folder / "batch.txt").string()));
    const std::string herd = (folder / "herd.csv").string();
    EXPECT_EQ(services.infos,
              (std::vector<std::string>{
                  herd + ": Error '31/02/2023' is not a valid date at line 3\r\nB2\r\n31/02/2023\r\n\r\n\r\n\r\n\r\n",
                  herd + ": analysed 1", "No report possible for " + herd}));
    ShowInfo("after the batch");
    EXPECT_EQ(services.infos.back(), "after the batch");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace ovista

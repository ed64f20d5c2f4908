// Batch and herd files line by line: ReadTextLine then SplitCsvLine over any bytes. Other
// software writes these files, so every byte sequence must split into at most 100 clean
// fields without reading past the line. Herd files are cut a slice at a time: wherever the
// slices end, the lines must be ReadTextLine's.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "herd/csv_line.h"

namespace {

// The splitting rules a character at a time, as simply as they can be written: the fast
// splitter must give the same fields.
ovista::CsvFields ReferenceSplit(std::string_view line) {
    ovista::CsvFields fields;
    std::size_t current = 0;
    bool quoted = false;
    auto finish = [&] {
        std::string& field = fields[current];
        field = field.substr(0, field.find_last_not_of(' ') + 1);
        field.erase(0, std::min(field.find_first_not_of(' '), field.size()));
    };
    for (char c : line) {
        if (c == '\0') break;
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            finish();
            if (++current == fields.size()) return fields;
        } else if (fields[current].size() < ovista::kCsvFieldMax) {
            fields[current] += c;
        }
    }
    finish();
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    const std::string_view input = fuzz::AsText(data, size);
    std::istringstream in{std::string(input)};

    std::size_t lineFeeds = 0;
    for (char c : input) lineFeeds += c == '\n';

    // Slices of 1 to 64 bytes, as the first byte says, so that rows straddle them.
    std::istringstream sliced{std::string(input)};
    SlicedLines cut(*sliced.rdbuf(), size == 0 ? 1 : 1 + data[0] % 64);
    std::string_view slicedLine;

    std::string line;
    CsvFields fields;
    CsvSplitter splitter;  // one for all lines, as the herd reader keeps one
    std::size_t lines = 0;
    std::size_t bytesKept = 0;
    while (ReadTextLine(in, line)) {
        ++lines;
        FUZZ_CHECK(lines <= lineFeeds + 1, "more lines than line feeds allow");
        FUZZ_CHECK(line.find('\n') == std::string::npos, "");
        bytesKept += line.size();
        FUZZ_CHECK(cut.Next(slicedLine) && slicedLine == line, "sliced: " + std::string(slicedLine));

        SplitCsvLine(line, fields);
        FUZZ_CHECK(fields == ReferenceSplit(line), line);
        const CsvFieldViews& reused = splitter.Split(line);
        FUZZ_CHECK(std::equal(fields.begin(), fields.end(), reused.begin()), "a reused splitter: " + line);
        for (const std::string& field : fields) {
            FUZZ_CHECK(field.size() <= kCsvFieldMax, std::to_string(field.size()));
            FUZZ_CHECK(field.find('"') == std::string::npos, field);
            FUZZ_CHECK(field.find('\0') == std::string::npos, "");
            if (!field.empty()) {
                FUZZ_CHECK(field.front() != ' ' && field.back() != ' ', field);
            }
        }
        // Without a quote or NUL before the first comma, the first field (the herd path of
        // a batch line) is the text before that comma, cut to the field size and trimmed.
        const std::size_t cut = line.find_first_of(std::string_view(",\"\0", 3));
        if (cut == std::string::npos || line[cut] == ',') {
            const std::string expected = TrimBlanks(line.substr(0, std::min(cut, kCsvFieldMax)));
            FUZZ_CHECK(fields[0] == expected, fields[0] + " | " + expected);
        }
    }
    FUZZ_CHECK(bytesKept <= size, "");
    FUZZ_CHECK(!ReadTextLine(in, line) && line.empty(), "a read after the end gives nothing");
    FUZZ_CHECK(!cut.Next(slicedLine), "sliced: a line more than ReadTextLine gives");
    return 0;
}

// herdgen: writes a batch of synthetic herd CSV files, a batch file and a manifest of the
// true figures behind them.
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/herdgen/herdgen_lib.h"
#include "tools/herdgen/random.h"

namespace fs = std::filesystem;
using namespace ovista::herdgen;

namespace {

const char kUsage[] =
    "usage: herdgen --out DIR [options]\n"
    "  --herds N             number of herds (default 10)\n"
    "  --seed S              batch seed (default 1); the same seed gives the same files\n"
    "  --pattern LIST        seasonal|split|yearround|mixed (default mixed)\n"
    "  --quality LIST        earlypd|mating|latepd|calvings|scans|mixed (default mixed)\n"
    "  --cows LIST           herd size at the analysis date; 0 draws 55..1000 (default 0)\n"
    "  --style LIST          clean|messy (default clean)\n"
    "  --messy               same as --style messy\n"
    "  --years N             years of history, 4 or 5; 0 draws in between (default 0)\n"
    "  --date dd/mm/yyyy     analysis date, the end of the history (default 31/05/2026)\n"
    "  --batch-prefix P      folder written before each file name in batch.txt\n"
    "                        (default: DIR as an absolute path)\n"
    "A LIST is comma-separated; herd i takes item i, the last item repeating.\n"
    "Writes DIR/herdNNN.csv, DIR/batch.txt and DIR/manifest.csv.\n";

struct Options {
    fs::path out;
    int herds = 10;
    std::uint64_t seed = 1;
    std::vector<std::string> patterns{"mixed"};
    std::vector<std::string> qualities{"mixed"};
    std::vector<std::string> cows{"0"};
    std::vector<std::string> styles{"clean"};
    int years = 0;
    Day date = 0;
    std::string batchPrefix;
    bool prefixGiven = false;
};

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        items.emplace_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return items;
}

const std::string& Item(const std::vector<std::string>& list, int index) {
    return list[static_cast<std::size_t>(index) < list.size() ? static_cast<std::size_t>(index) : list.size() - 1];
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& value) {
    if (text.empty()) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || v > (hi / 10) + 1) return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

[[noreturn]] void Fail(const std::string& message) {
    std::cerr << "herdgen: " << message << "\n" << kUsage;
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.date = DayNumber(2026, 5, 31);
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--help" || key == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (key == "--messy") {
            o.styles = {"messy"};
            continue;
        }
        if (i + 1 >= argc) Fail("missing value after " + key);
        const std::string value = argv[++i];
        long long n = 0;
        if (key == "--out") {
            o.out = value;
        } else if (key == "--herds") {
            if (!ParseInt(value, 1, 100000, n)) Fail("--herds wants 1..100000");
            o.herds = static_cast<int>(n);
        } else if (key == "--seed") {
            if (!ParseInt(value, 0, 999999999999LL, n)) Fail("--seed wants a whole number");
            o.seed = static_cast<std::uint64_t>(n);
        } else if (key == "--pattern") {
            o.patterns = SplitList(value);
            for (const auto& p : o.patterns) {
                if (p != "seasonal" && p != "split" && p != "yearround" && p != "mixed") Fail("unknown pattern " + p);
            }
        } else if (key == "--quality") {
            o.qualities = SplitList(value);
            for (const auto& q : o.qualities) {
                if (q != "earlypd" && q != "mating" && q != "latepd" && q != "calvings" && q != "scans" &&
                    q != "mixed") {
                    Fail("unknown quality " + q);
                }
            }
        } else if (key == "--cows") {
            o.cows = SplitList(value);
            for (const auto& c : o.cows) {
                if (!ParseInt(c, 0, 5000, n) || (n > 0 && n < 20)) Fail("--cows wants 0 or 20..5000");
            }
        } else if (key == "--style") {
            o.styles = SplitList(value);
            for (const auto& s : o.styles) {
                if (s != "clean" && s != "messy") Fail("unknown style " + s);
            }
        } else if (key == "--years") {
            if (!ParseInt(value, 0, 5, n) || (n > 0 && n < 4)) Fail("--years wants 0, 4 or 5");
            o.years = static_cast<int>(n);
        } else if (key == "--date") {
            o.date = ParseDate(value);
            if (o.date == 0) Fail("--date wants dd/mm/yyyy");
        } else if (key == "--batch-prefix") {
            o.batchPrefix = value;
            o.prefixGiven = true;
        } else {
            Fail("unknown option " + key);
        }
    }
    if (o.out.empty()) Fail("--out is required");
    return o;
}

HerdRequest MakeRequest(const Options& o, int i) {
    HerdRequest r;
    r.index = i + 1;
    r.seed = o.seed;
    r.analysisDate = o.date;
    r.years = o.years;
    r.messy = Item(o.styles, i) == "messy";
    long long cows = 0;
    ParseInt(Item(o.cows, i), 0, 5000, cows);
    r.cows = static_cast<int>(cows);
    // Mixed choices come from their own stream, so fixing one list leaves the other alone.
    Rng pick(StreamSeed(o.seed, static_cast<std::uint64_t>(r.index), 0));
    const std::string& p = Item(o.patterns, i);
    const std::size_t drawnPattern = pick.Weighted({55, 15, 30});
    if (p == "seasonal") r.pattern = Pattern::Seasonal;
    else if (p == "split") r.pattern = Pattern::Split;
    else if (p == "yearround") r.pattern = Pattern::YearRound;
    else r.pattern = static_cast<Pattern>(drawnPattern);
    const std::string& q = Item(o.qualities, i);
    const std::size_t drawnQuality = pick.Weighted({40, 30, 15, 15});
    if (q == "earlypd") r.quality = Quality::EarlyPregTests;
    else if (q == "mating") r.quality = Quality::MatingRecords;
    else if (q == "latepd") r.quality = Quality::LatePregTests;
    else if (q == "calvings") r.quality = Quality::CalvingsOnly;
    else if (q == "scans") r.quality = Quality::ScansOnly;
    else r.quality = static_cast<Quality>(drawnQuality);
    return r;
}

bool WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::cerr << "herdgen: could not write " << path.string() << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = ParseOptions(argc, argv);
        std::error_code ec;
        fs::create_directories(o.out, ec);
        if (ec) {
            std::cerr << "herdgen: could not create " << o.out.string() << ": " << ec.message() << "\n";
            return 1;
        }
        std::string prefix = o.prefixGiven ? o.batchPrefix : fs::absolute(o.out).lexically_normal().string();
        if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';
        const int width = std::max<int>(3, static_cast<int>(std::to_string(o.herds).size()));

        std::string batch;
        std::string manifest = ManifestHeading();
        for (int i = 0; i < o.herds; ++i) {
            const HerdRequest request = MakeRequest(o, i);
            const SimulatedHerd herd = SimulateHerd(request);
            const HerdFile file = WriteHerdFile(herd);
            std::string number = std::to_string(request.index);
            const std::string name = "herd" + std::string(static_cast<std::size_t>(width) - number.size(), '0') +
                                     number + ".csv";
            if (!WriteFile(o.out / name, file.text)) return 1;
            batch += BatchLine(herd, prefix + name) + "\r\n";
            manifest += ManifestLines(herd, name, file.lactationRows);
            std::cout << name << "  " << PatternName(request.pattern) << "  " << QualityName(request.quality)
                      << (request.messy ? "  messy" : "") << "  cows " << herd.cows << "  lactations "
                      << file.lactationRows << "\n";
        }
        if (!WriteFile(o.out / "batch.txt", batch) || !WriteFile(o.out / "manifest.csv", manifest)) return 1;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "herdgen: " << e.what() << "\n";
        return 1;
    }
}

#pragma once
// Synthetic dairy herds: a cow-by-cow simulation of calving, cycling, heat detection, AI and
// bull mating, conception, pregnancy testing, drying off and culling, written out as herd CSV
// files, with the true fertility figures of each mating season beside them so that the
// analysis can be measured against the truth.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/herdgen/calendar.h"

namespace ovista::herdgen {

enum class Pattern { Seasonal, Split, YearRound };

// What the farm recorded.
enum class Quality {
    EarlyPregTests,  // services, and pregnancy tests at most 17 weeks pregnant for most cows
    MatingRecords,   // services only
    LatePregTests,   // pregnancy tests only, one a season, many over 17 weeks pregnant
    CalvingsOnly,    // calvings, recalvings and culls only
    ScansOnly,       // early pregnancy tests as EarlyPregTests, but no services (bull mating,
                     // or services kept out of the export)
};

const char* PatternName(Pattern pattern);  // "seasonal", "split", "yearround"
const char* QualityName(Quality quality);  // "earlypd", "mating", "latepd", "calvings", "scans"

// One herd to make.
struct HerdRequest {
    int index = 1;               // position in the batch (1-based); names herdNNN.csv
    std::uint64_t seed = 1;      // batch seed; the herd's streams derive from it and index
    Pattern pattern = Pattern::Seasonal;
    Quality quality = Quality::EarlyPregTests;
    bool messy = false;          // odd but valid file layout (dates, blank rows, headings ...)
    int cows = 0;                // herd size (cows calving a year) at the analysis date; 0 draws 55..1000
    int years = 0;               // years of history, 4 or 5; 0 draws a length in between
    Day analysisDate = 0;        // the last day of the history
};

enum class ServiceKind { Heat, AI, Bull };

struct Service {
    Day date = 0;
    ServiceKind kind = ServiceKind::Heat;
    bool recorded = false;       // written to the file
    std::string sire;            // empty for a heat without service
    std::string tech;            // AI technician; may be empty
};

struct PregTest {
    Day date = 0;
    int weeks = 0;               // 0: not pregnant at the test
};

// A pregnancy from conception to its end (0 while it goes on to a calving).
struct Pregnancy {
    Day conceived = 0;
    Day ended = 0;
};

struct Lactation {
    int cow = 0;                 // index into SimulatedHerd::cows
    Day calved = 0;
    int induced = 0;             // 1 when this calving was induced
    int age = 2;                 // years at this calving
    bool ageRecorded = true;
    double yieldFactor = 1.0;
    std::vector<Service> services;   // in date order, recorded or not
    std::vector<Pregnancy> pregnancies;
    std::vector<PregTest> tests;
    Day inCalf = 0;              // conception of the pregnancy that survived the embryo stage
    Day nextCalve = 0;           // 0 when she did not calve again (culled, empty or aborted)
    int nextInduced = 0;
    Day culled = 0;              // culling date before the next calving, else 0
    Day dryoff = 0;
    int season = -1;             // index of her first mating season (seasonal and split herds)
};

struct Cow {
    std::string id;
    Day birth = 0;
    Day culled = 0;
    std::vector<int> lactations;  // indexes into SimulatedHerd::lactations, in calving order
};

// One mating season of one calving block: the herd's plan and its true dates.
struct Season {
    int block = 0;               // 0, or 1 for the second block of a split herd
    Day plannedStartOfCalving = 0;
    Day msd = 0;                 // mating start date: first day of AI
    Day endOfAI = 0;             // last day of AI
    Day endOfMating = 0;         // last day the bulls ran with the cows
    Day dryoff = 0;              // herd dry-off date of the lactations mated this season
    Day scanA = 0;               // early pregnancy scan after the end of AI
    Day scanB = 0;               // second scan after the end of mating
    Day lateTest = 0;            // single late pregnancy test
};

struct HerdParams {
    double heatDetection = 0.8;      // share of heats seen during AI
    double conceptionRate = 0.5;     // conception per service of a fertile cow
    int ageMissingPercent = 0;
    bool milkRecorded = true;
    bool litresDecimal = false;
    double dailyYield = 20.0;        // litres a day of a mature cow early in lactation
    int inducedStyle = 0;            // 0: I / empty, 1: TRUE / FALSE, 2: 1 / 0
    int vwp = 0;                     // year-round: voluntary waiting period, days
};

// A simulated herd: every cow and lactation with the truth behind the records.
struct SimulatedHerd {
    HerdRequest request;
    HerdParams params;
    int cows = 0;                    // herd size at the analysis date, as requested or drawn
    Day simulationStart = 0;         // first day simulated (years before the history)
    Day historyStart = 0;            // first calving date written to the file
    std::string herdNumber;
    std::string owner;
    std::string address;
    std::vector<Cow> cowList;
    std::vector<Lactation> lactations;
    std::vector<Season> seasons;     // in order of mating start
};

// Runs the simulation of one herd. Deterministic for the request.
SimulatedHerd SimulateHerd(const HerdRequest& request);

// The herd CSV file: identification row, heading row and one row per lactation calved
// between the start of the history and the analysis date.
struct HerdFile {
    std::string text;
    int lactationRows = 0;
};
HerdFile WriteHerdFile(const SimulatedHerd& herd);

// True figures of the cows the analysis puts in one mating group (percentages; -1 when the
// figure does not apply or has no cows to divide).
struct TruthRow {
    std::string season;              // "1", "2" ... for seasonal; "A1", "B1" ... for split;
                                     // "12m0", "12m1" ... (months back) for year-round
    const Season* mating = nullptr;  // seasonal and split
    Day groupFrom = 0;               // calving window of the group, both ends included
    Day groupTo = 0;
    bool recorded = true;            // the group calved within the history written to the file
    int groupCows = 0;
    double icr6wk = -1;              // in calf in the first 42 days of mating
    double nicr = -1;                // not in calf at the end of mating
    double sr3wk = -1;               // served in the first 21 days, of those eligible
    double cr = -1;                  // AI services (seasonal: from the mating start to the end
                                     // of AI) that led to the pregnancy
    double calv6wk = -1;             // calved more than 41 days before the mating start
    double icr100d = -1;             // year-round: in calf within 100 days of calving
    double nicr200d = -1;            // year-round: not in calf by 200 days after calving
    double sr80d = -1;               // year-round: first served within 80 days of calving
};
// Every mating season simulated (seasonal and split herds) and every 12-month calving window
// ending at a month's end (year-round herds) that ended by the analysis date, from the first
// simulated, the seasons before the written history included (recorded false), oldest first.
std::vector<TruthRow> TrueFigures(const SimulatedHerd& herd);

// Manifest text: a heading line and one line per mating group of each herd (LF ends).
std::string ManifestHeading();
std::string ManifestLines(const SimulatedHerd& herd, const std::string& fileName, int lactationRows);

// One batch-file line (without line end): path, herd number, owner, address, analysis date.
std::string BatchLine(const SimulatedHerd& herd, const std::string& path);

}  // namespace ovista::herdgen

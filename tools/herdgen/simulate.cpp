// The herd model. Each lactation is simulated in full when the cow calves: her return to
// cycling, every heat, whether it was seen, the service (AI while AI runs, then bulls), whether
// she conceived and kept the pregnancy, the next calving (induced when it is too late for the
// herd's calving block), dry-off, culling and her pregnancy tests. Her mating goes on as if she
// stayed in the herd even when she is culled, so the true in-calf rates are those that the
// life tables estimate: culling only hides records.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "tools/herdgen/herdgen_lib.h"
#include "tools/herdgen/names.h"
#include "tools/herdgen/random.h"

namespace ovista::herdgen {

const char* PatternName(Pattern pattern) {
    switch (pattern) {
        case Pattern::Seasonal: return "seasonal";
        case Pattern::Split: return "split";
        case Pattern::YearRound: return "yearround";
    }
    return "";
}

const char* QualityName(Quality quality) {
    switch (quality) {
        case Quality::EarlyPregTests: return "earlypd";
        case Quality::MatingRecords: return "mating";
        case Quality::LatePregTests: return "latepd";
        case Quality::CalvingsOnly: return "calvings";
        case Quality::ScansOnly: return "scans";
    }
    return "";
}

namespace {

constexpr int kBurnInYears = 3;        // simulated before the history so ages and calving dates settle
constexpr double kBullDetection = 0.95;  // share of heats a bull finds
constexpr double kPregnantHeat = 0.03;   // pregnant cows that show a heat and are served

// Management and biology of one herd, drawn once.
struct Biology {
    double heatDetection = 0.8;
    double conceptionRate = 0.5;
    double embryoLoss = 0.05;
    double abortion = 0.015;
    double anoestrus = 0.1;
    int minDaysCalved = 28;            // no service to a cow calved fewer days ago
    bool recordsHeats = false;         // heats outside mating written as heat-only entries
    double heatRecording = 0.6;
    double aiRecording = 0.99;
    double bullRecording = 0.0;
    bool aiOnly = false;
    int msdOffset = 84;                // planned start of calving to mating start, days
    int aiDays = 42;
    int mateDays = 84;
    bool induces = false;
    int inductionCutoff = 70;          // cows due later after the planned start are induced
    double cullRate = 0.08;            // involuntary culling per cow and year
    double growth = 0.0;               // herd growth per year
    double carryOver = 0.5;            // split herds: empty cows moved to the other block
    int giveUp = 240;                  // year-round: last day after calving a cow is mated
    bool sweeperBull = false;
    int bullFrom = 150;                // year-round: days after calving the bull takes over
    int visitEvery = 21;               // year-round: days between vet visits
    int visitPhase = 0;
    double testedShare = 0.93;
    std::vector<std::string> techs;
    std::vector<double> techWeights;
    std::vector<double> techSkill;
    double noTech = 0.05;
    std::vector<std::string> sires;
    std::vector<double> sireWeights;
    std::vector<std::string> bulls;
    double blockShare[2] = {1.0, 0.0};
};

struct Window {
    int season = -1;
    Day start = 0;
    Day aiEnd = 0;
    Day end = 0;
};

struct Event {
    Day date;
    int kind;                           // 0 season start, 1 herd check, 2 calving
    int id;                             // season or cow
    int code;                           // calving: induced
};

bool EventAfter(const Event& a, const Event& b) {
    if (a.date != b.date) return a.date > b.date;
    if (a.kind != b.kind) return a.kind > b.kind;
    return a.id > b.id;
}

bool HasMatingRecords(Quality q) {
    return q == Quality::EarlyPregTests || q == Quality::MatingRecords;
}

bool HasEarlyScans(Quality q) {
    return q == Quality::EarlyPregTests || q == Quality::ScansOnly;
}

std::string TechCode(Rng& rng) {
    static const char kLetters[] = "ABCDEFGHJKLMNPRSTW";
    std::string code;
    const int letters = rng.Int(2, 3);
    for (int i = 0; i < letters; ++i) code += kLetters[rng.Int(0, 17)];
    if (rng.Chance(0.3)) code += static_cast<char>('1' + rng.Int(0, 8));
    return code;
}

// AI sires: a breed prefix and a herd-book number or an invented name.
std::string SireCode(Rng& rng) {
    static const char* const kBreeds[] = {"HF", "JE", "XB", "AY", "FR"};
    static const char* const kFirst[] = {"KAR", "MOR", "TAL", "WEN", "BRAN", "HAL", "RIM", "OTA", "FEN", "DAR"};
    static const char* const kLast[] = {"VIS", "DEN", "TOR", "LEX", "RAN", "MIR", "BEL", "GO"};
    std::string code = kBreeds[rng.Int(0, 4)];
    if (rng.Chance(0.5)) {
        code += std::to_string(rng.Int(10000, 99999));
    } else {
        code += ' ';
        code += kFirst[rng.Int(0, 9)];
        code += kLast[rng.Int(0, 7)];
    }
    return code.substr(0, 12);
}

class Simulation {
public:
    explicit Simulation(const HerdRequest& request)
        : rng_(StreamSeed(request.seed, static_cast<std::uint64_t>(request.index), 1)) {
        herd_.request = request;
    }

    SimulatedHerd Run() {
        DrawHerd();
        PlanSeasons();
        Schedule();
        while (!events_.empty()) {
            std::pop_heap(events_.begin(), events_.end(), EventAfter);
            const Event e = events_.back();
            if (e.date > A()) break;
            events_.pop_back();
            if (e.kind == 0) SeasonStart(e.id);
            else if (e.kind == 1) HerdCheck(e.date);
            else Calving(e.id, e.date, e.code);
        }
        herd_.cows = herd_.request.cows;
        NameHerd(herd_);
        return std::move(herd_);
    }

private:
    Day A() const { return herd_.request.analysisDate; }
    Pattern P() const { return herd_.request.pattern; }

    void DrawHerd() {
        HerdRequest& r = herd_.request;
        if (r.cows <= 0) {
            const double u = rng_.Uniform();
            r.cows = 55 + static_cast<int>(945.0 * u * u);
        } else {
            rng_.Uniform();
        }
        const int historyDays = r.years > 0 ? r.years * 365 + r.years / 4 : rng_.Int(4 * 365, 5 * 365);
        herd_.historyStart = A() - historyDays;
        simStart_ = herd_.historyStart - kBurnInYears * 365 - 60;
        herd_.simulationStart = simStart_;

        Biology& b = bio_;
        b.heatDetection = rng_.Uniform(0.75, 0.97);
        b.conceptionRate = rng_.Uniform(0.35, 0.60);
        b.embryoLoss = rng_.Uniform(0.03, 0.07);
        b.abortion = rng_.Uniform(0.005, 0.025);
        b.anoestrus = rng_.Uniform(0.03, 0.15);
        b.minDaysCalved = rng_.Int(18, 30);
        b.recordsHeats = rng_.Chance(0.35);
        b.heatRecording = rng_.Uniform(0.4, 0.9);
        b.aiRecording = rng_.Uniform(0.97, 1.0);
        b.bullRecording = rng_.Chance(0.4) ? rng_.Uniform(0.2, 0.8) : 0.0;
        b.aiOnly = rng_.Chance(0.12);
        b.msdOffset = rng_.Int(80, 90);
        if (P() == Pattern::Split) {
            b.aiDays = rng_.Int(28, 42);
            b.mateDays = std::max(b.aiDays + 14, rng_.Int(63, 84));
            b.blockShare[0] = rng_.Uniform(0.55, 0.7);
            b.blockShare[1] = 1.0 - b.blockShare[0];
        } else {
            b.aiDays = rng_.Int(35, 70);
            b.mateDays = std::max(b.aiDays + 21, rng_.Int(77, 112));
        }
        b.induces = rng_.Chance(P() == Pattern::Seasonal ? 0.3 : 0.15);
        b.inductionCutoff = rng_.Int(56, 84);
        b.cullRate = rng_.Uniform(0.04, 0.10);
        b.growth = rng_.Uniform(-0.03, 0.06);
        b.carryOver = rng_.Uniform(0.3, 0.7);
        b.giveUp = rng_.Int(200, 280);
        b.sweeperBull = rng_.Chance(0.4);
        b.bullFrom = rng_.Int(120, 170);
        b.visitEvery = 7 * rng_.Int(2, 4);
        b.visitPhase = rng_.Int(0, b.visitEvery - 1);
        b.testedShare = rng_.Uniform(0.88, 0.98);

        const int techCount = static_cast<int>(
            rng_.Weighted({8, 20, 20, 15, 10, 7, 3, 3, 3, 3, 3, 2, 2}));
        while (static_cast<int>(b.techs.size()) < techCount) {
            std::string code = TechCode(rng_);
            if (std::find(b.techs.begin(), b.techs.end(), code) != b.techs.end()) continue;
            b.techs.push_back(code);
            b.techWeights.push_back(rng_.Uniform(0.2, 1.0));
            b.techSkill.push_back(rng_.Uniform(0.85, 1.12));
        }
        b.noTech = techCount > 0 ? rng_.Uniform(0.0, 0.15) : 1.0;
        const int sireCount = rng_.Int(5, 14);
        while (static_cast<int>(b.sires.size()) < sireCount) {
            std::string code = SireCode(rng_);
            if (std::find(b.sires.begin(), b.sires.end(), code) != b.sires.end()) continue;
            b.sires.push_back(code);
            b.sireWeights.push_back(rng_.Uniform(0.2, 1.0));
        }
        static const char* const kBulls[] = {"HF BULL", "JERSEY BULL", "HEREFORD", "ANGUS", "BULL"};
        const int bullCount = rng_.Int(1, 3);
        const int firstBull = rng_.Int(0, 4);
        for (int i = 0; i < bullCount; ++i) b.bulls.push_back(kBulls[(firstBull + i) % 5]);

        HerdParams& p = herd_.params;
        p.heatDetection = b.heatDetection;
        p.conceptionRate = b.conceptionRate;
        p.ageMissingPercent = rng_.Chance(0.3) ? rng_.Int(1, 5) : 0;
        p.milkRecorded = rng_.Chance(0.8);
        p.litresDecimal = rng_.Chance(0.5);
        p.dailyYield = rng_.Uniform(14.0, 28.0);
        p.inducedStyle = rng_.Int(0, 2);
        p.vwp = P() == Pattern::YearRound ? rng_.Int(35, 60) : 0;
        idStyle_ = rng_.Int(0, 2);
        idBase_ = rng_.Int(1, 3000);
    }

    void PlanSeasons() {
        if (P() == Pattern::YearRound) return;
        const Biology& b = bio_;
        // The latest mating is over by the analysis date (a split herd's latest block has
        // finished mating, though its last scan may still be to come).
        Day psc[2];
        if (P() == Pattern::Split) {
            const int latest = rng_.Int(0, 1);
            psc[latest] = A() - rng_.Int(130, 175) - b.msdOffset;
            psc[1 - latest] = psc[latest] - rng_.Int(150, 200);
        } else {
            psc[0] = A() - rng_.Int(230, 335);
            psc[1] = 0;
        }
        const int blocks = P() == Pattern::Split ? 2 : 1;
        for (int block = 0; block < blocks; ++block) {
            for (int k = -12; k <= 2; ++k) {
                Season s;
                s.block = block;
                s.plannedStartOfCalving = psc[block] + 365 * k + rng_.Int(-3, 3);
                s.msd = s.plannedStartOfCalving + std::clamp(b.msdOffset + rng_.Int(-2, 2), 80, 90);
                // Herds without bulls inseminate for the whole mating.
                const int aiDays = std::max(21, (b.aiOnly ? b.mateDays : b.aiDays) + rng_.Int(-4, 4));
                s.endOfAI = s.msd + aiDays - 1;
                s.endOfMating = b.aiOnly ? s.endOfAI
                                         : std::max(s.endOfAI + 14, s.msd + b.mateDays + rng_.Int(-5, 5) - 1);
                s.dryoff = s.plannedStartOfCalving + 365 - rng_.Int(45, 75);
                // The first scan comes about six weeks after AI, but early enough after the mating
                // start to age the first pregnancies (at most 14 weeks).
                const int afterAI = rng_.Int(35, 50);
                s.scanA = std::min(s.endOfAI + afterAI, s.msd + 49 + afterAI);
                s.scanB = std::max(s.scanA + 21, s.endOfMating + rng_.Int(35, 50));
                s.lateTest = s.msd + rng_.Int(145, 160);
                if (s.plannedStartOfCalving < simStart_ - 400 || s.plannedStartOfCalving > A() + 400) continue;
                herd_.seasons.push_back(s);
            }
        }
        std::sort(herd_.seasons.begin(), herd_.seasons.end(),
                  [](const Season& x, const Season& y) { return x.msd < y.msd; });
    }

    void Push(Day date, int kind, int id, int code) {
        events_.push_back({date, kind, id, code});
        std::push_heap(events_.begin(), events_.end(), EventAfter);
    }

    void Schedule() {
        if (P() == Pattern::YearRound) {
            for (Day t = simStart_; t <= A(); t += 30) Push(t, 1, 0, 0);
            return;
        }
        for (int s = 0; s < static_cast<int>(herd_.seasons.size()); ++s) {
            const Day start = herd_.seasons[s].plannedStartOfCalving - 50;
            if (start >= simStart_ && start <= A()) Push(start, 0, s, 0);
        }
    }

    // Herd size wanted on a day: the requested size at the analysis date, grown steadily.
    int Target(Day day) const {
        const double t = static_cast<double>(day - A()) / 365.0;
        const double size = herd_.request.cows * (1.0 + bio_.growth * t);
        return std::max(10, static_cast<int>(size + 0.5));
    }

    int DrawAge() { return 2 + static_cast<int>(rng_.Weighted({24, 20, 16, 13, 10, 7, 5, 3, 2})); }

    int CycleLength() {
        const double u = rng_.Uniform();
        if (u < 0.86) return rng_.NormalInt(21, 1.2, 18, 24);
        if (u < 0.93) return rng_.Int(25, 35);
        return rng_.Int(8, 17);
    }

    // Day of mating (0 = first day) on which a cow conceives, for cows that calve into the
    // first simulated season and for replacement heifers; -1 when she does not conceive.
    int ConceptionDay(double detection, double conception, int days) {
        for (int day = rng_.Int(0, 20); day < days; day += CycleLength()) {
            if (rng_.Chance(detection) && rng_.Chance(conception)) return day;
        }
        return -1;
    }

    int Gestation(int age) { return rng_.NormalInt(age == 2 ? 281 : 282, 4.5, 268, 296); }

    int NewCow(Day firstCalving, int age) {
        Cow cow;
        const int number = idBase_ + static_cast<int>(herd_.cowList.size());
        switch (idStyle_) {
            case 0: cow.id = std::to_string(number); break;
            case 1: cow.id = std::string(1, "ABCDEFGHJK"[number % 10]) + std::to_string(number); break;
            default: {
                std::string digits = std::to_string(number);
                cow.id = std::string(digits.size() < 5 ? 5 - digits.size() : 0, '0') + digits;
            }
        }
        cow.birth = age == 2 ? firstCalving - rng_.Int(700, 790)
                             : firstCalving - (age * 365 + rng_.Int(10, 150));
        herd_.cowList.push_back(cow);
        return static_cast<int>(herd_.cowList.size()) - 1;
    }

    int PendingCalvings(Day from, Day to) const {
        int n = 0;
        for (const Event& e : events_) {
            if (e.kind == 2 && e.date >= from && e.date < to) ++n;
        }
        return n;
    }

    // Before a block calves: fill the herd up with replacement heifers (or, the first time,
    // with cows of every age).
    void SeasonStart(int index) {
        const Season s = herd_.seasons[index];
        const double share = P() == Pattern::Split ? bio_.blockShare[s.block] : 1.0;
        const int target = static_cast<int>(Target(s.plannedStartOfCalving) * share + 0.5);
        const Day from = s.plannedStartOfCalving - 50;
        const Day to = s.plannedStartOfCalving + (P() == Pattern::Split ? 110 : 250);
        const bool first = !seeded_[s.block];
        seeded_[s.block] = true;
        for (int have = PendingCalvings(from, to); have < target; ++have) {
            Day calving;
            int age;
            if (first) {
                int day;
                do day = ConceptionDay(bio_.heatDetection, bio_.conceptionRate, bio_.mateDays);
                while (day < 0);
                age = DrawAge();
                calving = s.plannedStartOfCalving - 1 + day + Gestation(age) - 282;
            } else {
                // Heifers are mated ten days ahead of the cows and conceive more easily.
                int day;
                do day = ConceptionDay(0.9, 0.65, 63);
                while (day < 0);
                age = 2;
                calving = s.plannedStartOfCalving - 10 + day + Gestation(age) - 282;
            }
            Push(calving, 2, NewCow(calving, age), 0);
        }
    }

    // Year-round herds: replace culled cows by heifers calving over the next month.
    void HerdCheck(Day t) {
        const bool first = herd_.cowList.empty();
        int alive = 0;
        for (const Cow& c : herd_.cowList) {
            if (c.culled == 0 || c.culled > t) ++alive;
        }
        for (int target = Target(t); alive < target; ++alive) {
            const int age = first ? DrawAge() : 2;
            const Day calving = t + (first ? rng_.Int(0, 364) : rng_.Int(0, 29));
            Push(calving, 2, NewCow(calving, age), 0);
        }
    }

    std::vector<Window> WindowsFor(const Lactation& l) {
        std::vector<Window> windows;
        if (P() == Pattern::YearRound) {
            Window w;
            w.start = l.calved + herd_.params.vwp + rng_.Int(0, 7);
            w.end = l.calved + bio_.giveUp;
            w.aiEnd = bio_.sweeperBull ? l.calved + bio_.bullFrom - 1 : w.end;
            windows.push_back(w);
            return windows;
        }
        const auto& seasons = herd_.seasons;
        const bool carry = P() == Pattern::Split && rng_.Chance(bio_.carryOver);
        for (int s = 0; s < static_cast<int>(seasons.size()); ++s) {
            if (seasons[s].endOfMating <= l.calved + bio_.minDaysCalved) continue;
            windows.push_back({s, seasons[s].msd, seasons[s].endOfAI, seasons[s].endOfMating});
            if (carry && s + 1 < static_cast<int>(seasons.size()) && seasons[s + 1].block != seasons[s].block) {
                windows.push_back({s + 1, seasons[s + 1].msd, seasons[s + 1].endOfAI, seasons[s + 1].endOfMating});
            }
            break;
        }
        return windows;
    }

    Service MakeService(Day date, ServiceKind kind, bool recorded, double& skill) {
        Service sv;
        sv.date = date;
        sv.kind = kind;
        sv.recorded = recorded;
        skill = 1.0;
        if (kind == ServiceKind::AI) {
            sv.sire = bio_.sires[rng_.Weighted(bio_.sireWeights)];
            if (!rng_.Chance(bio_.noTech)) {
                const std::size_t t = rng_.Weighted(bio_.techWeights);
                sv.tech = bio_.techs[t];
                skill = bio_.techSkill[t];
            } else {
                skill = 0.97;
            }
        } else if (kind == ServiceKind::Bull) {
            sv.sire = bio_.bulls[static_cast<std::size_t>(rng_.Int(0, static_cast<int>(bio_.bulls.size()) - 1))];
            skill = 0.95;
        }
        return sv;
    }

    // Heats from the return to cycling to the end of her last mating window. Returns the
    // index of the window in which she conceived the pregnancy she kept, or -1.
    int Breed(Lactation& l, const std::vector<Window>& windows, int firstHeatDay) {
        if (windows.empty()) return -1;
        const bool records = HasMatingRecords(herd_.request.quality);
        const double fertility = std::clamp(rng_.Normal(1.0, 0.12), 0.6, 1.4);
        const double detection = std::min(0.99, bio_.heatDetection * rng_.Uniform(0.85, 1.12));
        const double ageFactor = l.age == 2 ? 1.05 : (l.age >= 8 ? 0.88 : 1.0);
        const int minDays = P() == Pattern::YearRound ? 0 : bio_.minDaysCalved;
        const Day lastEnd = windows.back().end;
        for (Day heat = l.calved + firstHeatDay; heat <= lastEnd;) {
            int w = -1;
            for (int i = 0; i < static_cast<int>(windows.size()); ++i) {
                if (heat >= windows[i].start && heat <= windows[i].end) w = i;
            }
            const int daysCalved = heat - l.calved;
            if (w < 0 || daysCalved < minDays) {
                if (bio_.recordsHeats && daysCalved >= 10 && rng_.Chance(bio_.heatDetection * bio_.heatRecording)) {
                    double skill;
                    l.services.push_back(MakeService(heat, ServiceKind::Heat, records, skill));
                }
                heat += CycleLength();
                continue;
            }
            const bool ai = heat <= windows[w].aiEnd;
            if (!rng_.Chance(ai ? detection : kBullDetection)) {
                heat += CycleLength();
                continue;
            }
            const bool recorded = records && rng_.Chance(ai ? bio_.aiRecording : bio_.bullRecording);
            double skill;
            l.services.push_back(MakeService(heat, ai ? ServiceKind::AI : ServiceKind::Bull, recorded, skill));
            const double early = daysCalved < 40 ? 0.8 : (daysCalved < 60 ? 0.93 : 1.0);
            const double p = std::min(0.92, bio_.conceptionRate * fertility * early * ageFactor * skill);
            if (!rng_.Chance(p)) {
                heat += CycleLength();
                continue;
            }
            if (rng_.Chance(bio_.embryoLoss)) {
                const Day lost = heat + rng_.Int(16, 45);
                l.pregnancies.push_back({heat, lost});
                heat = lost + rng_.Int(4, 12);
                continue;
            }
            l.pregnancies.push_back({heat, 0});
            l.inCalf = heat;
            if (rng_.Chance(kPregnantHeat)) {
                // A heat shown by a pregnant cow: served again, without effect.
                const Day again = heat + rng_.Int(18, 40);
                if (again >= windows[w].start && again <= windows[w].aiEnd) {
                    double s2;
                    l.services.push_back(MakeService(again, ServiceKind::AI, records && rng_.Chance(bio_.aiRecording), s2));
                }
            }
            return w;
        }
        return -1;
    }

    Day NextPlannedStart(int season) const {
        const Season& s = herd_.seasons[season];
        for (const Season& t : herd_.seasons) {
            if (t.block == s.block && t.plannedStartOfCalving > s.plannedStartOfCalving + 200) {
                return t.plannedStartOfCalving;
            }
        }
        return s.plannedStartOfCalving + 365;
    }

    // Pregnancy weeks found by a test on day t (0 when she is not found pregnant): a
    // pregnancy of fewer than minDays is not seen.
    int WeeksAt(const Lactation& l, Day t, int minDays, double sd) {
        for (const Pregnancy& p : l.pregnancies) {
            if (p.conceived <= t - minDays && (p.ended == 0 || p.ended > t)) {
                const double weeks = (t - p.conceived) / 7.0 + rng_.Normal(0.0, sd);
                return std::max(minDays / 7, static_cast<int>(weeks + 0.5));
            }
        }
        return 0;
    }

    bool Present(const Lactation& l, Day t) const { return l.culled == 0 || t <= l.culled; }

    void AddTest(Lactation& l, Day t, int weeks) {
        if (l.tests.size() < 6) l.tests.push_back({t, weeks});
    }

    void PregnancyTests(Lactation& l, const std::vector<Window>& windows) {
        const Quality q = herd_.request.quality;
        if (!HasEarlyScans(q) && q != Quality::LatePregTests) return;
        if (P() == Pattern::YearRound) {
            if (HasEarlyScans(q)) {
                // At each vet visit cows served at least five weeks ago without a return are scanned.
                std::vector<Day> served;
                for (const Service& s : l.services) {
                    if (s.kind != ServiceKind::Heat) served.push_back(s.date);
                }
                for (std::size_t i = 0; i < served.size(); ++i) {
                    const Day next = i + 1 < served.size() ? served[i + 1] : INT_MAX;
                    const Day due = served[i] + 35 - bio_.visitPhase;
                    const Day visit = bio_.visitPhase + (due + bio_.visitEvery - 1) / bio_.visitEvery * bio_.visitEvery;
                    if (visit >= next || !Present(l, visit) || !rng_.Chance(bio_.testedShare)) continue;
                    const int weeks = WeeksAt(l, visit, 35, 0.45);
                    AddTest(l, visit, weeks);
                    if (weeks > 0) break;
                }
            } else {
                const Day t = l.inCalf ? l.inCalf + rng_.Int(120, 175) : l.calved + rng_.Int(200, 260);
                if (Present(l, t) && rng_.Chance(bio_.testedShare)) AddTest(l, t, WeeksAt(l, t, 42, 1.0));
            }
            return;
        }
        for (const Window& w : windows) {
            const Season& s = herd_.seasons[w.season];
            if (HasEarlyScans(q)) {
                for (Day scan : {s.scanA, s.scanB}) {
                    if (scan <= l.calved + 14 || !Present(l, scan) || !rng_.Chance(bio_.testedShare)) continue;
                    const int weeks = WeeksAt(l, scan, 35, 0.45);
                    AddTest(l, scan, weeks);
                    if (weeks > 0) return;
                }
            } else {
                const Day t = s.lateTest;
                if (t <= l.calved + 30 || !Present(l, t) || !rng_.Chance(bio_.testedShare)) continue;
                const int weeks = WeeksAt(l, t, 42, 1.0);
                AddTest(l, t, weeks);
                if (weeks > 0) return;
            }
        }
    }

    void Calving(int cowIndex, Day date, int induced) {
        Lactation l;
        l.cow = cowIndex;
        l.calved = date;
        l.induced = induced;
        {
            const Cow& cow = herd_.cowList[cowIndex];
            l.age = std::max(2, (date - cow.birth) * 4 / 1461);
        }
        l.yieldFactor = std::clamp(rng_.Normal(1.0, 0.12), 0.7, 1.3);
        l.ageRecorded = !rng_.Chance(herd_.params.ageMissingPercent / 100.0);
        const int firstHeat = rng_.NormalInt(30, 9, 12, 70) + (l.age == 2 ? 7 : 0) +
                              (rng_.Chance(bio_.anoestrus) ? rng_.Int(25, 70) : 0);
        const std::vector<Window> windows = WindowsFor(l);
        if (!windows.empty()) l.season = windows.front().season;
        const int conceivedIn = Breed(l, windows, firstHeat);
        std::sort(l.services.begin(), l.services.end(),
                  [](const Service& a, const Service& b) { return a.date < b.date; });

        // Outcome of the pregnancy she kept.
        Day aborted = 0;
        if (l.inCalf) {
            const Day due = l.inCalf + Gestation(l.age);
            if (rng_.Chance(bio_.abortion)) {
                aborted = l.inCalf + rng_.Int(60, 200);
                l.pregnancies.back().ended = aborted;
            } else {
                l.nextCalve = due;
                if (P() != Pattern::YearRound && bio_.induces && conceivedIn >= 0) {
                    const Day planned = NextPlannedStart(windows[conceivedIn].season);
                    // Cows due too long after the planned start are induced to calve with the herd.
                    if (due > planned + bio_.inductionCutoff && rng_.Chance(0.8)) {
                        const Day when = std::max(l.inCalf + 230, planned + bio_.inductionCutoff - rng_.Int(0, 21));
                        if (when < due - 10) {
                            l.nextCalve = when;
                            l.nextInduced = 1;
                        }
                    }
                }
            }
        }

        // Culling: empty cows leave after mating (or after an abortion); others by chance.
        Day cull = 0;
        Day emptyExit = 0;
        if (!l.nextCalve) {
            if (aborted) emptyExit = aborted + rng_.Int(7, 60);
            else if (P() == Pattern::YearRound) emptyExit = l.calved + bio_.giveUp + rng_.Int(20, 120);
            else if (!windows.empty()) {
                // Empty cows go after the end of mating, and not before the test that finds them empty.
                const Season& last = herd_.seasons[windows.back().season];
                emptyExit = windows.back().end + rng_.Int(30, 110);
                const Quality q = herd_.request.quality;
                const Day test = HasEarlyScans(q) ? last.scanB
                                 : (q == Quality::LatePregTests ? last.lateTest : 0);
                if (test) emptyExit = std::max(emptyExit, test + rng_.Int(1, 45));
            }
            else emptyExit = l.calved + rng_.Int(200, 300);
        }
        const int span = (l.nextCalve ? l.nextCalve : emptyExit) - l.calved;
        const double ageRisk = l.age >= 8 ? 1.6 : (l.age == 2 ? 0.7 : 1.0);
        if (rng_.Chance(bio_.cullRate * ageRisk * span / 365.0)) {
            const int t = rng_.Chance(0.35) ? rng_.Int(1, 60) : rng_.Int(60, std::max(61, span - 1));
            cull = l.calved + t;
        }
        if (emptyExit && (cull == 0 || emptyExit < cull)) cull = emptyExit;
        if (cull && l.nextCalve && cull >= l.nextCalve) cull = 0;

        // Dry-off: with the herd for seasonal blocks, about two months before calving otherwise.
        Day dry;
        if (P() == Pattern::YearRound) {
            dry = l.nextCalve ? l.nextCalve - rng_.Int(50, 70) : l.calved + rng_.Int(300, 360);
        } else {
            const int season = conceivedIn >= 0 ? windows[conceivedIn].season
                                                : (windows.empty() ? -1 : windows.back().season);
            dry = season >= 0 ? herd_.seasons[season].dryoff : l.calved + 300;
            if (l.nextCalve) dry = std::min(dry, l.nextCalve - rng_.Int(45, 60));
        }
        dry = std::max(dry, l.calved + 60);
        // Old cows go at dry-off, even in calf.
        if (!cull && l.nextCalve && l.age >= 9 && rng_.Chance(l.age >= 11 ? 0.7 : 0.35)) cull = dry + rng_.Int(0, 30);
        if (cull) {
            l.nextCalve = 0;
            l.nextInduced = 0;
            if (cull < dry) dry = 0;
        }
        l.culled = cull;
        l.dryoff = dry;

        PregnancyTests(l, windows);

        Cow& cow = herd_.cowList[cowIndex];
        cow.lactations.push_back(static_cast<int>(herd_.lactations.size()));
        if (l.culled) cow.culled = l.culled;
        if (l.nextCalve) Push(l.nextCalve, 2, cowIndex, l.nextInduced);
        herd_.lactations.push_back(std::move(l));
    }

    Rng rng_;
    SimulatedHerd herd_;
    Biology bio_;
    Day simStart_ = 0;
    std::vector<Event> events_;
    bool seeded_[2] = {false, false};
    int idStyle_ = 0;
    int idBase_ = 1;
};

}  // namespace

SimulatedHerd SimulateHerd(const HerdRequest& request) { return Simulation(request).Run(); }

}  // namespace ovista::herdgen

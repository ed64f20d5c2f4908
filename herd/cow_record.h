#pragma once
// One lactation of one cow: a calving and what followed it (induction, dry-off, culling,
// yield, heats and services, pregnancy tests), plus the working fields that the analysis
// fills for it. Records are plain values: a new one is all zero (texts empty, no dates),
// so a field that no step sets reads 0. They hold no pointers, so a herd's thousands of
// records are copied and freed as plain bytes.
#include <array>
#include <cstdint>
#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <type_traits>

#include "herd/short_text.h"
#include "herd/textutil.h"

namespace ovista {

inline constexpr int kServiceSlots = 14;   // heat/service entries per lactation
inline constexpr int kPregTestSlots = 6;   // pregnancy tests per lactation
inline constexpr std::size_t kKeyMaxLength = 20;   // cow identifier (11) + calving day (9)
inline constexpr std::size_t kTechMaxLength = 12;  // a technician's text is kept to this
// Technicians a herd can name: a service holds its technician as a number of 24 bits.
inline constexpr std::uint32_t kMaxTechnicians = (std::uint32_t{1} << 24) - 1;

// One heat or service, in 8 bytes: a herd holds fourteen slots per lactation. A heat without
// a sire is a heat without mating; date 0 is no date. The sire is only ever asked whether one
// was named, so only that is kept; the technician is a number into the herd's table of
// technicians (HerdList::Technician), 0 for none.
struct ServiceRecord {
    ovista::Date Date = 0;
    std::uint32_t Tech : 24 = 0;  // technician, 0: none
    bool AI : 1 = false;          // the AI column held "TRUE"
    bool HasSire : 1 = false;     // the sire column held text
    // Conception-rate marks, set by the conception analysis:
    bool CountedService : 1 = false;     // AI service counted by the conception rate
    bool ConceptionService : 1 = false;  // the counted service that led to the conception
    bool InferredFailure : 1 = false;    // counted as failed because later events show it

    bool operator==(const ServiceRecord&) const = default;
};
static_assert(sizeof(ServiceRecord) == 8);

// One pregnancy test; an unused slot has date 0 and weeks 0.
struct PregTestRecord {
    ovista::Date Date = 0;
    std::int16_t Weeks = 0;  // weeks pregnant found at the test

    bool operator==(const PregTestRecord&) const = default;
};

struct CowRecord {
    // Fields in the order of their use: what every pass asks of every lactation first (the
    // mating group: calving, culling, next calving, embryo transfer, first service), then the
    // rest, then the key (messages only), the tests and the services; two bytes of padding.

    // ---- from the herd file ----
    ovista::Date Calved = 0;
    ovista::Date Culled = 0;
    ovista::Date NextCalve = 0;    // cleared by the analysis driver
    ovista::Date Dryoff = 0;       // cleared by the analysis driver
    std::int16_t InducedCode = 0;  // 0, 1 (induced), 2, 3 or a number from the file
    std::int16_t NextInducedCode = 0;
    std::int16_t Age = 0;          // years at this calving; 2 marks a two-year-old
    std::int16_t Days = 0;         // days in milk
    std::int16_t Litres = 0;
    bool ETCow = false;            // never set from the herd file
    bool Induced = false;
    bool NextInduced = false;
    // Service slots at the end known to be empty (the reader counts them); 0 when not known.
    // Passes over the services walk only the slots before them (ServiceSlotsInUse): most
    // lactations use few of the fourteen. No step of the analysis fills an empty slot.
    std::uint8_t EmptyServiceSlots = 0;

    // ---- derived by the analysis driver ----
    bool FirstServiceAI = false;
    ovista::Date FirstService = 0;    // lowest slot with a date and a sire
    ovista::Date LastService = 0;     // highest slot with a date and a sire
    ovista::Date LastHeat = 0;        // highest slot with a date
    ovista::Date ConceptionDate = 0;  // from the first usable pregnancy test

    // ---- analysis working fields ----
    ovista::Date TestConception = 0;      // from the first positive pregnancy test
    ovista::Date PrevTestConception = 0;  // the same for the previous mating period (split herds)
    ovista::Date SubmittedDate = 0;
    std::int16_t DaysToConception = 0;  // central estimate: day of conception or censoring
    std::int16_t Conceived = 0;
    std::int16_t OptDays = 0;           // optimistic estimate
    std::int16_t OptConceived = 0;
    std::int16_t PessDays = 0;          // pessimistic estimate
    std::int16_t PessConceived = 0;
    std::int16_t ServedBy100d = 0;      // year-round herds
    std::int16_t Served101To130 = 0;
    std::int16_t DaysToFirstService = 0;
    std::int16_t CulledFlag = 0;        // culled before the next calving
    std::int16_t DaysToCull = 0;
    std::int16_t PrevCulledFlag = 0;    // the same for the previous mating period
    std::int16_t DaysToCullPrev = 0;
    std::int16_t PrevDays = 0;          // the three estimates for the previous mating period
    std::int16_t PrevConceived = 0;
    std::int16_t PrevOptDays = 0;
    std::int16_t PrevOptConceived = 0;
    std::int16_t PrevPessDays = 0;
    std::int16_t PrevPessConceived = 0;

    // ---- from the herd file ----
    ShortText<kKeyMaxLength> Key;  // cow id cut/filled to 11, calving day right-aligned in 9
    double LogisticTerm = 0.0;     // analysis, year-round herds: e^z of the 100-day estimate term
    std::array<PregTestRecord, kPregTestSlots> PregTests{};  // file order
    // Last: a lactation's fields and the slots it uses lie together.
    std::array<ServiceRecord, kServiceSlots> Services{};  // file order, from slot 1 without gaps

    bool operator==(const CowRecord&) const = default;
};

static_assert(std::is_trivially_copyable_v<CowRecord>);
static_assert(std::is_standard_layout_v<CowRecord>);  // copied in part up to a service slot
static_assert(sizeof(CowRecord) == 288);  // a herd holds tens of thousands

// The service slots a pass walks: all but those known to be empty at the end.
inline int ServiceSlotsInUse(const CowRecord& record) {
    return record.EmptyServiceSlots >= kServiceSlots ? 0 : kServiceSlots - record.EmptyServiceSlots;
}
inline std::span<ServiceRecord> ServicesInUse(CowRecord& record) {
    return {record.Services.data(), static_cast<std::size_t>(ServiceSlotsInUse(record))};
}
inline std::span<const ServiceRecord> ServicesInUse(const CowRecord& record) {
    return {record.Services.data(), static_cast<std::size_t>(ServiceSlotsInUse(record))};
}
// The same slots from the last back, for passes that want the latest service first.
struct LatestServicesFirst {
    std::span<const ServiceRecord> inUse;
    auto begin() const { return inUse.rbegin(); }
    auto end() const { return inUse.rend(); }
};
inline LatestServicesFirst ServicesInUseLatestFirst(const CowRecord& record) { return {ServicesInUse(record)}; }

// Field-by-field text of a record, so a failed comparison in a test shows what differs.
void PrintTo(const ServiceRecord& service, std::ostream* os);
void PrintTo(const PregTestRecord& test, std::ostream* os);
void PrintTo(const CowRecord& record, std::ostream* os);

}  // namespace ovista

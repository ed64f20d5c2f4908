#pragma once
// One lactation of one cow: a calving and what followed it (induction, dry-off, culling,
// yield, heats and services, pregnancy tests), plus the working fields that the analysis
// fills for it. A new record is all zero (texts empty, no dates, no slots), so a field that
// no step sets reads 0. Records hold no pointers, so a herd's thousands of them are freed
// as plain bytes.
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

// One heat or service, in 8 bytes: a lactation has up to fourteen. A heat without
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

// One pregnancy test, in 8 bytes; an unused slot has date 0 and weeks 0.
struct PregTestRecord {
    ovista::Date Date = 0;
    std::int16_t Weeks = 0;  // weeks pregnant found at the test

    bool operator==(const PregTestRecord&) const = default;
};

// One lactation: its fields, and where its service and pregnancy test slots in use lie. A
// record in a herd list holds only the slots it uses, in the list's pool (HerdList gives a
// record its slots); a FullCowRecord holds all twenty after its fields. The slots are found
// from the record's own address, so a pass takes either kind alike. A record is not copied
// as a value (its slots would be left behind): FullCowRecord copies one with its slots,
// HerdList::Assign puts one into a list.
struct CowRecord {
    // Fields in the order of their use: what every pass asks of every lactation first (the
    // mating group: calving, culling, next calving, embryo transfer, first service), then the
    // rest, then the key (messages only) and where the slots lie.

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

    // ---- where the slots lie: kept by the list and by FullCowRecord, read through the
    // functions below (the bytes sit where the other fields leave padding) ----
    // Service slots in use: the services from slot 1 without gaps, as the reader fills them.
    // Passes walk only these (ServicesInUse); no step of the analysis fills an empty slot.
    std::uint8_t serviceSlots_ = 0;

    // ---- derived by the analysis driver ----
    bool FirstServiceAI = false;

    // Pregnancy test slots in use: up to the last one the file wrote (file order).
    std::uint8_t testSlots_ = 0;

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

    // Service slots before the first test slot: those in use in a list, all fourteen in a
    // FullCowRecord.
    std::uint8_t serviceRoom_ = 0;

    // Bytes from this record to its first service slot; the test slots follow the service room.
    std::int64_t slotsAt_ = 0;

    CowRecord() = default;
    // Every field, where the slots lie included: for FullCowRecords, whose slots lie alike.
    // Records of lists compare as FullCowRecord copies.
    bool operator==(const CowRecord&) const = default;

    int ServiceSlotsInUse() const { return serviceSlots_; }
    int TestSlotsInUse() const { return testSlots_; }
    ServiceRecord* ServiceSlots() {
        return reinterpret_cast<ServiceRecord*>(reinterpret_cast<unsigned char*>(this) + slotsAt_);
    }
    const ServiceRecord* ServiceSlots() const {
        return reinterpret_cast<const ServiceRecord*>(reinterpret_cast<const unsigned char*>(this) + slotsAt_);
    }
    PregTestRecord* TestSlots() { return reinterpret_cast<PregTestRecord*>(ServiceSlots() + serviceRoom_); }
    const PregTestRecord* TestSlots() const {
        return reinterpret_cast<const PregTestRecord*>(ServiceSlots() + serviceRoom_);
    }
    // The slots in use as bytes: the service room and the tests in use. For copies of a
    // record as plain bytes back into the same record.
    std::size_t SlotBytes() const { return (std::size_t{serviceRoom_} + testSlots_) * sizeof(ServiceRecord); }

protected:
    // Copies keep the offset of the slots: only a FullCowRecord, whose slots move with it, and
    // the list, which sets it, copy records.
    CowRecord(const CowRecord&) = default;
    CowRecord& operator=(const CowRecord&) = default;

private:
    friend class HerdList;
};

static_assert(std::is_trivially_copyable_v<CowRecord>);  // copied as bytes into itself (trend seasons)
static_assert(std::is_standard_layout_v<CowRecord>);  // the working fields are cleared as one span
static_assert(sizeof(ServiceRecord) == sizeof(PregTestRecord));  // the slots of a record are one run
static_assert(sizeof(CowRecord) == 128);  // a herd holds tens of thousands

// A lactation with all fourteen service and six test slots, as a value: for records built or
// held outside a herd list (tests, messages, copies). A new one has every slot in use; one
// copied from a record has that record's slots in use, the others empty.
struct FullCowRecord : CowRecord {
    std::array<ServiceRecord, kServiceSlots> Services{};  // file order, from slot 1 without gaps
    std::array<PregTestRecord, kPregTestSlots> PregTests{};  // file order

    FullCowRecord() { SetSlotsInUse(kServiceSlots, kPregTestSlots); }
    explicit FullCowRecord(const CowRecord& record);
    FullCowRecord(const FullCowRecord&) = default;
    FullCowRecord& operator=(const FullCowRecord&) = default;
    // The slots walked: those from the first (the rest are to be empty).
    void SetSlotsInUse(int services, int tests);

    bool operator==(const FullCowRecord&) const = default;
};

// The service slots a pass walks: those in use.
inline int ServiceSlotsInUse(const CowRecord& record) { return record.ServiceSlotsInUse(); }
inline std::span<ServiceRecord> ServicesInUse(CowRecord& record) {
    return {record.ServiceSlots(), static_cast<std::size_t>(record.ServiceSlotsInUse())};
}
inline std::span<const ServiceRecord> ServicesInUse(const CowRecord& record) {
    return {record.ServiceSlots(), static_cast<std::size_t>(record.ServiceSlotsInUse())};
}
// The same slots from the last back, for passes that want the latest service first.
struct LatestServicesFirst {
    std::span<const ServiceRecord> inUse;
    auto begin() const { return inUse.rbegin(); }
    auto end() const { return inUse.rend(); }
};
inline LatestServicesFirst ServicesInUseLatestFirst(const CowRecord& record) { return {ServicesInUse(record)}; }
// The date of a service slot (0-based), 0 for a slot not in use.
inline Date ServiceDate(const CowRecord& record, int slot) {
    return slot < record.ServiceSlotsInUse() ? record.ServiceSlots()[slot].Date : 0;
}

// The pregnancy test slots in use, in file order; the slots after them are empty.
inline int TestSlotsInUse(const CowRecord& record) { return record.TestSlotsInUse(); }
inline std::span<PregTestRecord> TestsInUse(CowRecord& record) {
    return {record.TestSlots(), static_cast<std::size_t>(record.TestSlotsInUse())};
}
inline std::span<const PregTestRecord> TestsInUse(const CowRecord& record) {
    return {record.TestSlots(), static_cast<std::size_t>(record.TestSlotsInUse())};
}

// Field-by-field text of a record, so a failed comparison in a test shows what differs.
void PrintTo(const ServiceRecord& service, std::ostream* os);
void PrintTo(const PregTestRecord& test, std::ostream* os);
void PrintTo(const CowRecord& record, std::ostream* os);
void PrintTo(const FullCowRecord& record, std::ostream* os);

}  // namespace ovista

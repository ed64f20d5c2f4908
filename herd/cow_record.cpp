#include "herd/cow_record.h"

#include <algorithm>
#include <ostream>

namespace ovista {

FullCowRecord::FullCowRecord(const CowRecord& record) : CowRecord(record) {
    SetSlotsInUse(record.ServiceSlotsInUse(), record.TestSlotsInUse());
    std::copy_n(record.ServiceSlots(), record.ServiceSlotsInUse(), Services.begin());
    std::copy_n(record.TestSlots(), record.TestSlotsInUse(), PregTests.begin());
}

void FullCowRecord::SetSlotsInUse(int services, int tests) {
    serviceSlots_ = static_cast<std::uint8_t>(std::clamp(services, 0, kServiceSlots));
    testSlots_ = static_cast<std::uint8_t>(std::clamp(tests, 0, kPregTestSlots));
    serviceRoom_ = kServiceSlots;
    slotsAt_ = reinterpret_cast<const unsigned char*>(Services.data()) -
               reinterpret_cast<const unsigned char*>(static_cast<const CowRecord*>(this));
}

void PrintTo(const ServiceRecord& s, std::ostream* os) {
    *os << "{Date=" << s.Date << " AI=" << s.AI << " HasSire=" << s.HasSire << " Tech=" << s.Tech
        << " Counted=" << s.CountedService << " Conception=" << s.ConceptionService
        << " Inferred=" << s.InferredFailure << "}";
}

void PrintTo(const PregTestRecord& t, std::ostream* os) {
    *os << "{Date=" << t.Date << " Weeks=" << t.Weeks << "}";
}

void PrintTo(const CowRecord& r, std::ostream* os) {
    *os << "{Key='" << r.Key << "' Calved=" << r.Calved << " InducedCode=" << r.InducedCode
        << " Induced=" << r.Induced << " Dryoff=" << r.Dryoff << " Culled=" << r.Culled
        << " Age=" << r.Age << " NextCalve=" << r.NextCalve
        << " NextInducedCode=" << r.NextInducedCode << " NextInduced=" << r.NextInduced
        << " Days=" << r.Days << " Litres=" << r.Litres << " ETCow=" << r.ETCow
        << " ServiceSlots=" << ServiceSlotsInUse(r) << " TestSlots=" << TestSlotsInUse(r);
    for (int k = 0; k < ServiceSlotsInUse(r); ++k) {
        const ServiceRecord& s = ServicesInUse(r)[static_cast<std::size_t>(k)];
        if (!(s == ServiceRecord{})) {
            *os << " S" << k + 1 << "=";
            PrintTo(s, os);
        }
    }
    for (int k = 0; k < TestSlotsInUse(r); ++k) {
        const PregTestRecord& t = TestsInUse(r)[static_cast<std::size_t>(k)];
        if (!(t == PregTestRecord{})) {
            *os << " PD" << k + 1 << "=";
            PrintTo(t, os);
        }
    }
    *os << " FirstService=" << r.FirstService << " LastService=" << r.LastService
        << " LastHeat=" << r.LastHeat << " FirstServiceAI=" << r.FirstServiceAI
        << " ConceptionDate=" << r.ConceptionDate << " TestConception=" << r.TestConception
        << " PrevTestConception=" << r.PrevTestConception
        << " SubmittedDate=" << r.SubmittedDate << " DaysToConception=" << r.DaysToConception
        << " Conceived=" << r.Conceived << " OptDays=" << r.OptDays
        << " OptConceived=" << r.OptConceived << " PessDays=" << r.PessDays
        << " PessConceived=" << r.PessConceived << " ServedBy100d=" << r.ServedBy100d
        << " Served101To130=" << r.Served101To130
        << " DaysToFirstService=" << r.DaysToFirstService << " CulledFlag=" << r.CulledFlag
        << " DaysToCull=" << r.DaysToCull << " PrevCulledFlag=" << r.PrevCulledFlag
        << " DaysToCullPrev=" << r.DaysToCullPrev << " PrevDays=" << r.PrevDays
        << " PrevConceived=" << r.PrevConceived << " PrevOptDays=" << r.PrevOptDays
        << " PrevOptConceived=" << r.PrevOptConceived << " PrevPessDays=" << r.PrevPessDays
        << " PrevPessConceived=" << r.PrevPessConceived
        << "}";
}

void PrintTo(const FullCowRecord& r, std::ostream* os) {
    PrintTo(static_cast<const CowRecord&>(r), os);
    // Slots beyond those in use are to be empty: any that is not is shown too.
    for (int k = ServiceSlotsInUse(r); k < kServiceSlots; ++k) {
        const ServiceRecord& s = r.Services[static_cast<std::size_t>(k)];
        if (!(s == ServiceRecord{})) {
            *os << " unused S" << k + 1 << "=";
            PrintTo(s, os);
        }
    }
    for (int k = TestSlotsInUse(r); k < kPregTestSlots; ++k) {
        const PregTestRecord& t = r.PregTests[static_cast<std::size_t>(k)];
        if (!(t == PregTestRecord{})) {
            *os << " unused PD" << k + 1 << "=";
            PrintTo(t, os);
        }
    }
}

}  // namespace ovista

#include "analysis/herd_report.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <set>
#include <sstream>
#include <vector>

namespace ovista {
namespace {

// The stored layout, written out independently of the code under test: a field set alone
// must occupy exactly its bytes, and the fields together must tile all 2428 bytes.
struct Int16At {
    std::int16_t HerdReport::*field;
    std::size_t offset;
};
struct DateAt {
    Date HerdReport::*field;
    std::size_t offset;
};

const std::vector<Int16At> kInt16Fields = {
    {&HerdReport::Error, 301},           {&HerdReport::ActCalvingPattern, 307},
    {&HerdReport::AnalysisCalvingPattern, 309}, {&HerdReport::CowsAnalysed, 311},
    {&HerdReport::Weekto80PC, 333},      {&HerdReport::Clusters, 335},
    {&HerdReport::AnalType, 337},        {&HerdReport::NRR, 339},
    {&HerdReport::NRRNo, 341},           {&HerdReport::CR, 351},
    {&HerdReport::CRNo, 353},            {&HerdReport::n2yo, 379},
    {&HerdReport::nMature, 381},         {&HerdReport::SR10d, 395},
    {&HerdReport::SR10d_n, 397},         {&HerdReport::SR3wk, 399},
    {&HerdReport::SR3wk_n, 401},         {&HerdReport::ICR6wklow, 403},
    {&HerdReport::ICR6wkHigh, 405},      {&HerdReport::ICR6wk, 407},
    {&HerdReport::ICR3wk, 409},          {&HerdReport::ICR9wk, 411},
    {&HerdReport::ICR12wk, 413},         {&HerdReport::ICR6wkCarryOvers, 415},
    {&HerdReport::NICR, 417},            {&HerdReport::NICRLow, 419},
    {&HerdReport::NICRHigh, 421},        {&HerdReport::Calv3wk2yo, 423},
    {&HerdReport::Calv6wk2yo, 425},      {&HerdReport::Tot2yo, 427},
    {&HerdReport::Calv3wk, 429},         {&HerdReport::Calv6wk, 431},
    {&HerdReport::Calv9wk, 433},         {&HerdReport::nCalved, 435},
    {&HerdReport::InducedPct, 437},      {&HerdReport::Induced3wk, 439},
    {&HerdReport::Induced6wk, 441},      {&HerdReport::Induced9wk, 443},
    {&HerdReport::SR3wkEarlyMature, 445}, {&HerdReport::SR3wkEM_n, 447},
    {&HerdReport::SplitNICR, 449},       {&HerdReport::SplitNICRLow, 451},
    {&HerdReport::SplitNICRHigh, 453},   {&HerdReport::VWP, 455},
    {&HerdReport::SR80d, 457},           {&HerdReport::SR80d_n, 459},
    {&HerdReport::SR80dMature, 461},     {&HerdReport::SR80dMature_n, 463},
    {&HerdReport::ICR100dLower, 465},    {&HerdReport::ICR100dUPper, 467},
    {&HerdReport::ICR100d, 469},         {&HerdReport::NICR200d, 471},
    {&HerdReport::NICR200dLow, 473},     {&HerdReport::NICR200dHigh, 475},
    {&HerdReport::nCalved130, 477},      {&HerdReport::Est100dN, 479},
    {&HerdReport::yrCalved382, 485},     {&HerdReport::yrReCalved382, 487},
    {&HerdReport::HeatIntervals, 489},   {&HerdReport::HeatIntervals1824, 491},
};

const std::vector<DateAt> kDateFields = {
    {&HerdReport::ReportDate, 303},    {&HerdReport::CalvingStart, 313},
    {&HerdReport::CalvingStop, 317},   {&HerdReport::CdateMSD, 321},
    {&HerdReport::PDMSD, 325},         {&HerdReport::PrevPdMsd, 329},
    {&HerdReport::NRRSTart, 343},      {&HerdReport::NRRStop, 347},
    {&HerdReport::CRSTart, 355},       {&HerdReport::CRStop, 359},
    {&HerdReport::MSD, 383},           {&HerdReport::EOMating, 387},
    {&HerdReport::EOAI, 391},          {&HerdReport::LastRecalving, 481},
    {&HerdReport::AnalysisDate, 2420}, {&HerdReport::CrossCheckStart, 2424},
};

// Positions of the non-zero bytes of a stored record.
std::set<std::size_t> NonZeroBytes(const HerdReportBytes& bytes) {
    std::set<std::size_t> at;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0) at.insert(i);
    }
    return at;
}

std::set<std::size_t> Range(std::size_t from, std::size_t count) {
    std::set<std::size_t> at;
    for (std::size_t i = from; i < from + count; ++i) at.insert(i);
    return at;
}

std::uint64_t LittleEndianAt(const HerdReportBytes& bytes, std::size_t at, int count) {
    std::uint64_t value = 0;
    for (int k = 0; k < count; ++k) value |= std::uint64_t{bytes[at + k]} << (8 * k);
    return value;
}

// A double whose eight bytes are all n + 1 (never zero, never a NaN for n below 254).
double NoZeroByteDouble(std::size_t n) {
    return std::bit_cast<double>(0x0101010101010101u * (n + 1));
}

// Records each field's bytes and checks that a field set alone occupies exactly them
// and loads back.
class LayoutCheck {
public:
    void Expect(const HerdReport& alone, std::size_t offset, std::size_t size) {
        const HerdReportBytes bytes = StoreHerdReport(alone);
        EXPECT_EQ(NonZeroBytes(bytes), Range(offset, size)) << "field at " << offset;
        EXPECT_EQ(LoadHerdReport(bytes.data(), bytes.size()), alone) << "field at " << offset;
        for (std::size_t i = offset; i < offset + size; ++i) {
            EXPECT_TRUE(covered_.insert(i).second) << "byte " << i << " belongs to two fields";
        }
    }
    const std::set<std::size_t>& Covered() const { return covered_; }

private:
    std::set<std::size_t> covered_;
};

TEST(HerdReport, EveryFieldLiesAtItsOffsetAndTheFieldsTileTheRecord) {
    LayoutCheck check;
    int n = 0;
    for (const auto& [field, offset] : kInt16Fields) {
        HerdReport r;
        const auto value = static_cast<std::int16_t>(0x8101 + 0x0102 * n++);  // no zero byte
        r.*field = value;
        check.Expect(r, offset, 2);
        const HerdReportBytes bytes = StoreHerdReport(r);
        EXPECT_EQ(LittleEndianAt(bytes, offset, 2), static_cast<std::uint16_t>(value));
    }
    for (const auto& [field, offset] : kDateFields) {
        HerdReport r;
        const Date value = -0x01020304 - n++;  // no zero byte
        r.*field = value;
        check.Expect(r, offset, 4);
        const HerdReportBytes bytes = StoreHerdReport(r);
        EXPECT_EQ(LittleEndianAt(bytes, offset, 4), static_cast<std::uint32_t>(value));
    }
    {
        HerdReport r;
        r.Yield2yo = NoZeroByteDouble(1);
        check.Expect(r, 363, 8);
        EXPECT_EQ(LittleEndianAt(StoreHerdReport(r), 363, 8), 0x0202020202020202u);
        r = HerdReport{};
        r.YieldMature = NoZeroByteDouble(2);
        check.Expect(r, 371, 8);
    }
    // Texts filled to their maximum occupy the length byte and every character byte.
    {
        HerdReport r;
        r.Owner = std::string(40, 'O');
        check.Expect(r, 0, 41);
        r = HerdReport{};
        r.Address = std::string(250, 'A');
        check.Expect(r, 41, 251);
        r = HerdReport{};
        r.SHNO = "12345678";
        check.Expect(r, 292, 9);
        EXPECT_EQ(StoreHerdReport(r)[292], 8);
    }
    for (std::size_t t = 0; t < 11; ++t) {
        const std::size_t at = 493 + 17 * t;
        HerdReport r;
        r.Technicians[t].Tech = std::string(12, static_cast<char>('a' + t));
        check.Expect(r, at, 13);
        r = HerdReport{};
        r.Technicians[t].Insems = static_cast<std::int16_t>(0x0101 * (t + 1));
        check.Expect(r, at + 13, 2);
        r = HerdReport{};
        r.Technicians[t].Pregs = static_cast<std::int16_t>(-1 - static_cast<int>(t));
        check.Expect(r, at + 15, 2);
    }
    for (std::size_t d = 0; d < 200; ++d) {
        HerdReport r;
        r.ConceptionByDay[d] = NoZeroByteDouble(d);
        check.Expect(r, 680 + 8 * d, 8);
    }
    for (std::size_t g = 0; g < 5; ++g) {
        for (std::size_t c = 0; c < 14; ++c) {
            HerdReport r;
            r.RecordsCrossCheck[g][c] = static_cast<std::int16_t>(0x0101 + 0x0101 * (g * 14 + c));
            check.Expect(r, 2280 + 2 * (14 * g + c), 2);
        }
    }
    EXPECT_EQ(check.Covered(), Range(0, 2428));
    EXPECT_EQ(kHerdReportSize, 2428u);
    EXPECT_EQ(sizeof(HerdReportBytes), 2428u);
}

// A record in which every byte that a field can hold is set: texts at full length with
// no zero character, every number with all its bytes non-zero.
HerdReportBytes FullStoredRecord() {
    HerdReportBytes bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(1 + (i * 37) % 251);
    }
    bytes[0] = 40;
    bytes[41] = 250;
    bytes[292] = 8;
    for (std::size_t t = 0; t < 11; ++t) bytes[493 + 17 * t] = static_cast<std::uint8_t>(t + 1);
    // The characters after a shorter technician name are zero in a stored record.
    for (std::size_t t = 0; t < 11; ++t) {
        for (std::size_t k = t + 1; k < 12; ++k) bytes[493 + 17 * t + 1 + k] = 0;
    }
    // Keep every double a number, so that a loaded record compares equal to itself.
    bytes[363 + 7] = 0x40;
    bytes[371 + 7] = 0x40;
    for (std::size_t d = 0; d < 200; ++d) bytes[680 + 8 * d + 7] = 0x3F;
    return bytes;
}

TEST(HerdReport, AFullyPopulatedRecordRoundTripsByteForByte) {
    const HerdReportBytes stored = FullStoredRecord();
    const HerdReport loaded = LoadHerdReport(stored.data(), stored.size());
    EXPECT_EQ(StoreHerdReport(loaded), stored);
    EXPECT_EQ(LoadHerdReport(StoreHerdReport(loaded).data(), kHerdReportSize), loaded);

    EXPECT_EQ(loaded.Owner.size(), 40u);
    EXPECT_EQ(loaded.Address.size(), 250u);
    EXPECT_EQ(loaded.SHNO.size(), 8u);
    EXPECT_EQ(loaded.Technicians[10].Tech.size(), 11u);
    EXPECT_EQ(static_cast<unsigned char>(loaded.Owner[0]), stored[1]);
    EXPECT_EQ(static_cast<std::uint16_t>(loaded.Error), stored[301] | stored[302] << 8);
    EXPECT_EQ(static_cast<std::uint32_t>(loaded.CrossCheckStart),
              LittleEndianAt(stored, 2424, 4));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(loaded.ConceptionByDay[199]),
              LittleEndianAt(stored, 680 + 8 * 199, 8));
    EXPECT_EQ(static_cast<std::uint16_t>(loaded.RecordsCrossCheck[4][13]),
              LittleEndianAt(stored, 2418, 2));
}

TEST(HerdReport, AShortStoredFileLoadsWithTheMissingBytesZero) {
    HerdReport full = LoadHerdReport(FullStoredRecord().data(), kHerdReportSize);
    full.Address = "12 Main Road";  // fits inside the first 100 bytes
    const HerdReportBytes stored = StoreHerdReport(full);

    const HerdReport shortLoad = LoadHerdReport(stored.data(), 100);
    HerdReport expected;
    expected.Owner = full.Owner;
    expected.Address = full.Address;
    EXPECT_EQ(shortLoad, expected);

    // A text cut by the end of the file keeps its length; its missing characters are zero.
    const HerdReport cut = LoadHerdReport(stored.data(), 45);
    EXPECT_EQ(cut.Address, std::string("12 ") + std::string(9, '\0'));
    EXPECT_EQ(LoadHerdReport(nullptr, 0), HerdReport{});
    std::vector<std::uint8_t> longer(stored.begin(), stored.end());
    longer.resize(3000, 0xEE);
    EXPECT_EQ(LoadHerdReport(longer.data(), longer.size()), full);  // trailing bytes ignored
}

TEST(HerdReport, ALengthByteBeyondItsFieldIsClampedAndNeverReadsTheNextField) {
    HerdReportBytes bytes = FullStoredRecord();
    bytes[0] = 255;
    bytes[292] = 9;
    bytes[493] = 200;
    const HerdReport r = LoadHerdReport(bytes.data(), bytes.size());
    EXPECT_EQ(r.Owner, std::string(reinterpret_cast<const char*>(&bytes[1]), 40));
    EXPECT_EQ(r.SHNO, std::string(reinterpret_cast<const char*>(&bytes[293]), 8));
    EXPECT_EQ(r.Technicians[0].Tech, std::string(reinterpret_cast<const char*>(&bytes[494]), 12));
    // Storing it again writes the clamped lengths.
    const HerdReportBytes again = StoreHerdReport(r);
    EXPECT_EQ(again[0], 40);
    EXPECT_EQ(again[292], 8);
    EXPECT_EQ(again[493], 12);
}

TEST(HerdReport, TextLongerThanItsFieldIsCutWhenStored) {
    HerdReport r;
    r.Owner = std::string(45, 'x');
    r.SHNO = "1234567890";
    r.Technicians[3].Tech = "ABCDEFGHIJKLMNOP";
    const HerdReportBytes bytes = StoreHerdReport(r);
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[41], 0);  // Address untouched
    const HerdReport loaded = LoadHerdReport(bytes.data(), bytes.size());
    EXPECT_EQ(loaded.Owner, std::string(40, 'x'));
    EXPECT_EQ(loaded.SHNO, "12345678");
    EXPECT_EQ(loaded.Technicians[3].Tech, "ABCDEFGHIJKL");
    EXPECT_EQ(loaded.Technicians[3].Insems, 0);
}

TEST(HerdReport, ClearingEmptiesEveryFieldAndStoresZeroBytes) {
    HerdReport r = LoadHerdReport(FullStoredRecord().data(), kHerdReportSize);
    ClearHerdReport(r);
    EXPECT_EQ(r, HerdReport{});
    EXPECT_TRUE(NonZeroBytes(StoreHerdReport(r)).empty());
}

TEST(HerdReport, AReportIsPrintedWhenCompleteOrForASeasonalHerdPastTheChoiceOfBasis) {
    HerdReport r;
    r.AnalysisCalvingPattern = kYearRoundCalving;
    EXPECT_TRUE(IsReportPrintable(r));
    r.Error = kErrorTooFewRecalved;
    EXPECT_FALSE(IsReportPrintable(r));
    r.AnalysisCalvingPattern = kSeasonalCalving;
    EXPECT_TRUE(IsReportPrintable(r));
    r.Error = kErrorSplitRecalving;
    EXPECT_TRUE(IsReportPrintable(r));
    for (std::int16_t e = 1; e <= 4; ++e) {
        r.Error = e;
        EXPECT_FALSE(IsReportPrintable(r)) << "error " << e;
    }
    r.AnalysisCalvingPattern = kSplitCalving;
    r.Error = kErrorNoRecalvingPeriod;
    EXPECT_FALSE(IsReportPrintable(r));
}

TEST(HerdReport, PrintingNamesTheFieldsAndOnlyTheSetTableElements) {
    HerdReport r;
    r.Owner = "A \"B\"";
    r.SR80d_n = 42;
    r.ConceptionByDay[7] = 0.25;
    r.RecordsCrossCheck[2][12] = 9;
    r.Technicians[1] = {"JS", 5, 2};
    std::ostringstream out;
    PrintTo(r, &out);
    const std::string text = out.str();
    EXPECT_NE(text.find("Owner = \"A \\x22B\\x22\""), std::string::npos) << text;
    EXPECT_NE(text.find("SR80d_n = 42"), std::string::npos);
    EXPECT_NE(text.find("ConceptionByDay[7] = 0.25"), std::string::npos);
    EXPECT_EQ(text.find("ConceptionByDay[6]"), std::string::npos);
    EXPECT_NE(text.find("RecordsCrossCheck[2][12] = 9"), std::string::npos);
    EXPECT_NE(text.find("Technicians[1].Tech = \"JS\""), std::string::npos);
    EXPECT_NE(text.find("Technicians[1].Insems = 5"), std::string::npos);
}

}  // namespace
}  // namespace ovista

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "herd/errors.h"
#include "herd/herd_list.h"

namespace ovista {
namespace {

std::vector<std::string> Keys(const HerdList& list) {
    std::vector<std::string> keys;
    for (int i = 1; i <= list.Count(); ++i) keys.emplace_back(list.KeyAt(i));
    return keys;
}

TEST(HerdList, FirstAddOnAnEmptyListGivesIndexOneAndAZeroedRecordHoldingTheKey) {
    HerdList list;
    FullCowRecord record;
    record.Age = 7;  // must be overwritten by the new record
    int index = 0;
    EXPECT_TRUE(list.FindOrAddRecord("COW1", record, index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(list.Count(), 1);
    FullCowRecord expected;
    expected.Key = "COW1";
    EXPECT_EQ(record, expected);
    FullCowRecord stored;
    list.GetRecord(1, stored);
    EXPECT_EQ(stored, expected);
}

TEST(HerdList, KeysStayInAscendingOrderAndIndexesFollowInsertions) {
    HerdList list;
    FullCowRecord record;
    int index = 0;
    list.FindOrAddRecord("B1", record, index);
    EXPECT_EQ(index, 1);
    list.FindOrAddRecord("A1", record, index);
    EXPECT_EQ(index, 1);
    FullCowRecord found;
    ASSERT_TRUE(list.LocateRecord("B1", found, index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(found.Key, "B1");
}

TEST(HerdList, KeysDifferingOnlyInLetterCaseAreTheSameLactation) {
    HerdList list;
    FullCowRecord record;
    int first = 0;
    list.FindOrAddRecord("Buttercup", record, first);
    record.Litres = 5000;
    list.PutRecord(first, record);

    int again = 0;
    FullCowRecord found;
    EXPECT_TRUE(list.FindOrAddRecord("BUTTERCUP", found, again));
    EXPECT_EQ(again, first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(found.Litres, 5000);
    EXPECT_EQ(found.Key, "Buttercup");  // the stored key text is the first one given
    EXPECT_TRUE(list.LocateRecord("buttercup", found, again));
}

TEST(HerdList, OrderIgnoresLetterCaseInsteadOfFollowingByteValues) {
    HerdList list;
    FullCowRecord record;
    int index = 0;
    for (const char* key : {"cherry", "Banana", "apple", "APRICOT", "banana2"}) {
        list.FindOrAddRecord(key, record, index);
    }
    EXPECT_EQ(Keys(list),
              (std::vector<std::string>{"apple", "APRICOT", "Banana", "banana2", "cherry"}));
}

TEST(HerdList, KeysTheCollatorIgnoresPartsOfAreStillDifferentCows) {
    // Control characters are ignorable in collation; merging two such ids would lose a cow.
    EXPECT_NE(CompareKeysCaseBlind("COW\x01" "1", "COW1"), 0);
    EXPECT_EQ(CompareKeysCaseBlind("cow1", "COW1"), 0);
    EXPECT_LT(CompareKeysCaseBlind("COW 12", "COW112"), 0);  // space before digits
    // Windows-1252 letters fold their case too.
    EXPECT_EQ(CompareKeysCaseBlind("\xC9T\xC9", "\xE9t\xE9"), 0);
}

TEST(HerdList, ComparatorCanBeReplaced) {
    HerdList list([](std::string_view a, std::string_view b) { return a.compare(b); });
    FullCowRecord record;
    int index = 0;
    list.FindOrAddRecord("apple", record, index);
    list.FindOrAddRecord("Banana", record, index);
    EXPECT_EQ(index, 1);  // plain byte order puts upper case first
    EXPECT_FALSE(list.LocateRecord("APPLE", record, index));
}

TEST(HerdList, LocatingAnAbsentKeyLeavesTheDestinationUntouched) {
    HerdList list;
    FullCowRecord record;
    int index = 0;
    list.FindOrAddRecord("A", record, index);
    FullCowRecord destination;
    destination.Key = "unchanged";
    destination.Age = 5;
    const FullCowRecord before = destination;
    EXPECT_FALSE(list.LocateRecord("B", destination, index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(destination, before);
}

TEST(HerdList, FreeRecordsEmptiesTheListAndDoesNothingWhenEmpty) {
    HerdList list;
    list.FreeRecords();
    EXPECT_EQ(list.Count(), 0);
    FullCowRecord record;
    int index = 0;
    list.FindOrAddRecord("A", record, index);
    list.FindOrAddRecord("B", record, index);
    list.FreeRecords();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.LocateRecord("A", record, index));
}

TEST(HerdList, TechniciansAreNumberedOnceEachAndFreedWithTheRecords) {
    HerdList list;
    EXPECT_EQ(list.TechnicianNumber(""), 0u);
    EXPECT_EQ(list.Technician(0), "");
    const std::uint32_t first = list.TechnicianNumber("tech-0123456789");  // kept to 12
    const std::uint32_t second = list.TechnicianNumber("T2");
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.TechnicianNumber("tech-0123456"), first);
    EXPECT_NE(list.TechnicianNumber("t2"), second);  // as written, case and all
    EXPECT_EQ(list.Technician(first), "tech-0123456");
    for (int n = 0; n < 40; ++n) list.TechnicianNumber("X" + std::to_string(n));  // past a short table
    EXPECT_EQ(list.TechnicianNumber("T2"), second);
    EXPECT_EQ(list.Technician(list.TechnicianNumber("X39")), "X39");
    HerdList copy;
    copy.CopyTechnicians(list);
    EXPECT_EQ(copy.Technician(second), "T2");
    list.FreeRecords();
    EXPECT_THROW(list.Technician(first), RangeError);
    EXPECT_EQ(list.TechnicianNumber("T2"), 1u);
}

TEST(HerdList, IndexesOutsideTheListAreRangeErrors) {
    HerdList list;
    FullCowRecord record;
    int index = 0;
    EXPECT_THROW(list.GetRecord(1, record), RangeError);
    list.FindOrAddRecord("A", record, index);
    EXPECT_THROW(list.GetRecord(0, record), RangeError);
    EXPECT_THROW(list.PutRecord(2, record), RangeError);
    EXPECT_THROW(list.RecordAt(2), RangeError);
    record.Age = 4;
    EXPECT_NO_THROW(list.PutRecord(1, record));
    EXPECT_EQ(list.RecordAt(1).Age, 4);
}

// A record holds the slots it is given: more or fewer than before, its slots taken last or
// before another record's, from a value or from a record of another list.
TEST(HerdList, ARecordPutAgainCarriesItsSlotsInUseAndLeavesTheOthersAlone) {
    const auto full = [](int services, int tests, Date from) {
        FullCowRecord record;
        record.SetSlotsInUse(services, tests);
        for (int k = 0; k < services; ++k) record.Services[static_cast<std::size_t>(k)] = {from + k, k + 1u};
        for (int k = 0; k < tests; ++k) record.PregTests[static_cast<std::size_t>(k)] = {from + 100 + k, 6};
        record.Days = static_cast<std::int16_t>(services * 10 + tests);
        return record;
    };
    HerdList list;
    HerdList other;
    CowRecord& a = list.FindOrAdd("A");
    CowRecord& b = list.FindOrAdd("B");
    list.Assign(b, full(2, 1, 500));
    const struct {
        int services, tests;
        bool bAfter;  // B takes new slots after A's, so A's are not the latest
    } steps[] = {{1, 0, false}, {3, 2, false}, {14, 6, false}, {2, 6, true}, {14, 1, true}, {0, 0, false}, {5, 5, true}};
    Date from = 1000;
    for (const auto& step : steps) {
        SCOPED_TRACE(::testing::Message() << step.services << " services, " << step.tests << " tests");
        const FullCowRecord value = full(step.services, step.tests, from += 1000);
        list.Assign(a, value);
        EXPECT_EQ(FullCowRecord(a), value);
        if (step.bAfter) list.Assign(b, full(2, 1, from + 500));
        EXPECT_EQ(FullCowRecord(list.RecordAt(1)), value);
        EXPECT_EQ(FullCowRecord(list.RecordAt(2)), full(2, 1, step.bAfter ? from + 500 : b.ServiceSlots()[0].Date));
        CowRecord& copy = other.FindOrAdd("A");
        other.Assign(copy, a);  // from another list, over the previous step's copy
        EXPECT_EQ(FullCowRecord(copy), value);
    }
}

TEST(HerdList, ManyKeysInRandomOrderComeOutSortedAndFindable) {
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "C%05d%9d", (i * 7919) % 3000, 38000 + i % 5);
        keys.push_back(id);
    }
    std::mt19937 random(42);
    std::shuffle(keys.begin(), keys.end(), random);
    HerdList list;
    FullCowRecord record;
    int index = 0;
    for (const std::string& key : keys) list.FindOrAddRecord(key, record, index);
    ASSERT_EQ(list.Count(), 3000);
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Keys(list), sorted);
    for (int i = 1; i <= list.Count(); i += 97) {
        EXPECT_TRUE(list.LocateRecord(sorted[static_cast<std::size_t>(i - 1)], record, index));
        EXPECT_EQ(index, i);
    }
}

// A large herd filled in place: its items span several blocks, its keys are found again by
// number, and the list filled anew after freeing (its blocks taken again) is the same.
TEST(HerdList, ALargeHerdFilledInPlaceFindsEveryKeyAgainAlsoAfterFreeing) {
    std::vector<std::string> keys;
    for (int i = 0; i < 15000; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "C%05d%14d", i / 3, 38000 + i % 3 * 400);
        keys.push_back(key);
    }
    std::mt19937 random(5);
    std::shuffle(keys.begin(), keys.end(), random);
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    HerdList list;
    for (int round = 0; round < 2; ++round) {
        list.Reserve(round == 0 ? keys.size() : 100);  // the estimate only guides the room
        for (std::size_t i = 0; i < keys.size(); ++i) {
            list.FindOrAdd(keys[i]).Days = static_cast<std::int16_t>(i % 30000);
        }
        for (std::size_t i = 0; i < keys.size(); i += 7) {
            ASSERT_EQ(list.FindOrAdd(keys[i]).Days, static_cast<std::int16_t>(i % 30000)) << keys[i];
        }
        ASSERT_EQ(list.Count(), 15000);
        EXPECT_EQ(Keys(list), sorted);
        list.FreeRecords();
    }
}

// A herd file sorted by cow adds each key after the last and finds a repeated one among the
// ordered keys; the first key out of order turns the search to an index of every key so far.
// Each sequence must give every key once, in order, with what was stored under it.
TEST(HerdList, KeysFilledInOrderThenRepeatedOrOutOfOrderAreEachFoundOnce) {
    const auto key = [](int cow, int day) {
        char text[32];
        std::snprintf(text, sizeof text, "C%05d%14d", cow, day);
        return std::string(text);
    };
    const std::string longKey(40, 'x');  // beyond what an item holds inside itself
    const struct {
        const char* name;
        std::vector<std::string> keys;
    } cases[] = {
        {"ascending", {key(1, 38000), key(1, 38400), key(2, 38000), key(3, 37000)}},
        {"a repeat while in order", {key(1, 38000), key(2, 38000), key(3, 38000), key(1, 38000), key(2, 38000), key(4, 1)}},
        {"one key back, then repeats", {key(1, 38000), key(3, 38000), key(2, 38000), key(3, 38000), key(1, 38000), key(4, 1), key(2, 38000)}},
        {"descending", {key(9, 5), key(8, 5), key(7, 5), key(8, 5), key(9, 5)}},
        {"case variants of a repeat", {"cow1", "cow2", "COW1", "Cow2", "cow3"}},
        {"a long key", {key(1, 38000), longKey, key(2, 38000), longKey}},
    };
    for (const auto& c : cases) {
        HerdList list;
        std::vector<std::string> unique;
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            CowRecord& record = list.FindOrAdd(c.keys[i]);
            record.Days = static_cast<std::int16_t>(record.Days + 1);
            const bool seen = std::any_of(unique.begin(), unique.end(), [&](const std::string& k) {
                return CompareKeysCaseBlind(k, c.keys[i]) == 0;
            });
            if (!seen) unique.push_back(c.keys[i]);
        }
        std::sort(unique.begin(), unique.end(), [](const std::string& a, const std::string& b) {
            return CompareKeysCaseBlind(a, b) < 0;
        });
        EXPECT_EQ(Keys(list), unique) << c.name;
        int days = 0;
        for (int i = 1; i <= list.Count(); ++i) days += list.RecordAt(i).Days;
        EXPECT_EQ(days, static_cast<int>(c.keys.size())) << c.name;
    }
}

// Filling a herd in place orders its keys once at the end; the list must come out as key by
// key insertion leaves it, with case variants, accents and characters the collation ignores
// among the keys.
TEST(HerdList, FillingInPlaceGivesTheOrderAndRecordsOfInsertionsOneByOne) {
    const char* stems[] = {"cow", "COW", "Cow\x01", "\xC9t\xE9", "\xE9T\xC9", "ab c", "abc", "AB-C", "z9", "Z9 "};
    std::vector<std::string> keys;
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        keys.push_back(std::string(stems[random() % std::size(stems)]) + std::to_string(random() % 40));
    }
    HerdList oneByOne;
    HerdList inPlace;
    FullCowRecord record;
    int index = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        oneByOne.FindOrAddRecord(keys[i], record, index);
        record.Days = static_cast<std::int16_t>(record.Days + i);
        oneByOne.PutRecord(index, record);
        CowRecord& stored = inPlace.FindOrAdd(keys[i]);
        stored.Days = static_cast<std::int16_t>(stored.Days + i);
        if (i == 200) {
            EXPECT_EQ(Keys(inPlace), Keys(oneByOne));  // ordered when asked midway
        }
    }
    ASSERT_EQ(Keys(inPlace), Keys(oneByOne));
    for (int i = 1; i <= oneByOne.Count(); ++i) {
        FullCowRecord added(inPlace.RecordAt(i));
        added.SetSlotsInUse(kServiceSlots, kPregTestSlots);  // added in place without slots, all empty
        EXPECT_EQ(added, FullCowRecord(oneByOne.RecordAt(i))) << i;
    }
    inPlace.FreeRecords();
    EXPECT_EQ(inPlace.Count(), 0);
    EXPECT_EQ(inPlace.FindOrAdd("new").Key, "new");
}

// Plain keys (spaces, digits, letters) are ordered without collating them while the list
// holds only such keys: by number while they are at most 20 characters long, by their
// places after a longer one. The order must be the collation's throughout, and after the
// first key that is not plain turns every key to the collation's own. Keys share prefixes
// of every length up to and beyond 20 characters, so one is often another's extension.
TEST(HerdList, PlainKeysOrderAsTheCollationOrdersThemBeforeAndAfterAnOtherKey) {
    const std::string plain = " 0123456789aAbBcCmMyYzZ";
    for (const bool searchFirst : {false, true}) {  // what ends the order by number
        std::mt19937 random(11);
        HerdList list;
        auto expectCollationOrder = [&] {
            for (int i = 2; i <= list.Count(); ++i) {
                ASSERT_LT(CompareKeysCaseBlind(list.KeyAt(i - 1), list.KeyAt(i)), 0)
                    << "'" << list.KeyAt(i - 1) << "' '" << list.KeyAt(i) << "'";
            }
        };
        std::vector<std::string> stems;
        for (int i = 0; i < 8; ++i) {
            std::string stem;
            for (int n = 0; n < 24; ++n) stem += plain[random() % plain.size()];
            stems.push_back(stem);
        }
        std::vector<std::string> keys;
        auto add = [&](std::size_t longest) {
            std::string key = stems[random() % stems.size()].substr(0, random() % (longest + 1));
            for (std::size_t n = random() % 3; n > 0 && key.size() < longest; --n) key += plain[random() % plain.size()];
            keys.push_back(key);
            list.FindOrAdd(key).Days = static_cast<std::int16_t>(key.size());
        };
        FullCowRecord found;
        int index = 0;
        for (int i = 0; i < 600; ++i) add(20);
        expectCollationOrder();
        if (searchFirst) {
            ASSERT_TRUE(list.LocateRecord(keys[7], found, index));
            EXPECT_EQ(CompareKeysCaseBlind(list.KeyAt(index), keys[7]), 0);
        }
        for (int i = 0; i < 100; ++i) add(24);
        expectCollationOrder();
        list.FindOrAdd("\xC9t\xE9 1");
        expectCollationOrder();
        for (const std::string& key : keys) {
            ASSERT_TRUE(list.LocateRecord(key, found, index)) << key;
            EXPECT_EQ(found.Days, static_cast<std::int16_t>(key.size()));
        }
    }
}

// A list that takes over the records of the rows after its own is the list that read them all:
// the same keys in order, records, slots and technicians' numbers, found and added to after.
// Keys met on both sides, letter case aside, leave both lists as they were.
TEST(HerdList, TakingOverTheLaterRowsGivesTheListThatReadThemAll) {
    const auto key = [](const std::string& cow, int day) {
        char text[32];
        std::snprintf(text, sizeof text, "%-11s%9d", cow.c_str(), day);
        return std::string(text);
    };
    struct Row {
        std::string key;
        std::string tech;
    };
    const auto fill = [](HerdList& list, const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            CowRecord& record = list.FindOrAdd(row.key);
            const std::uint32_t tech = list.TechnicianNumber(row.tech);
            list.SetSlotsInUse(record, ServiceSlotsInUse(record) + 1, 1);
            ++record.Days;
            ServicesInUse(record).back().Tech = tech;
            TestsInUse(record).back().Weeks = record.Days;
        }
    };
    std::vector<Row> ordered, shuffled;
    for (int i = 0; i < 3000; ++i) {  // past the first block of items on both sides
        ordered.push_back({key("C" + std::to_string(10000 + i / 3), 38000 + i % 3), "T" + std::to_string(i % 7 * (i / 1500))});
    }
    shuffled = ordered;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    struct Case {
        const char* name;
        std::vector<Row> first, rest;
    };
    std::vector<Row> caseClash{{key("abc", 1), "T1"}}, caseClashRest{{key("ABC", 1), "T2"}, {key("abd", 1), "T1"}};
    const std::vector<Case> cases{
        {"in order", {ordered.begin(), ordered.begin() + 1500}, {ordered.begin() + 1500, ordered.end()}},
        {"out of order", {shuffled.begin(), shuffled.begin() + 1400}, {shuffled.begin() + 1400, shuffled.end()}},
        {"first empty", {}, ordered},
        {"rest empty", ordered, {}},
        {"a key on both sides", {ordered.begin(), ordered.begin() + 1501}, {ordered.begin() + 1500, ordered.end()}},
        {"a key on both sides in other letters", caseClash, caseClashRest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HerdList whole;
        fill(whole, c.first);
        fill(whole, c.rest);
        HerdList list;
        HerdList rest;
        fill(list, c.first);
        fill(rest, c.rest);
        const bool clash = std::string(c.name).starts_with("a key");
        ASSERT_EQ(list.TakeOver(rest), !clash);
        if (clash) {
            EXPECT_EQ(list.Count(), static_cast<int>(c.first.size()));
            EXPECT_EQ(rest.Count(), static_cast<int>(c.rest.size()));
            continue;
        }
        EXPECT_EQ(rest.Count(), 0);
        // Added to after, in and out of order, as the whole list is.
        for (HerdList* each : {&whole, &list}) {
            fill(*each, {{key("C10000", 38000), "T9"}, {ordered.back().key, "T8"}, {key("A", 1), "T8"}, {key("Z", 1), "T1"}});
        }
        ASSERT_EQ(Keys(list), Keys(whole));
        for (int i = 1; i <= whole.Count(); ++i) {
            FullCowRecord expected, got;
            whole.GetRecord(i, expected);
            list.GetRecord(i, got);
            ASSERT_EQ(got, expected) << whole.KeyAt(i);
        }
        for (std::uint32_t n = 0; n <= 9; ++n) {
            EXPECT_EQ(list.Technician(n), whole.Technician(n));
        }
        EXPECT_THROW(list.Technician(10), RangeError);
    }
}

}  // namespace
}  // namespace ovista

#pragma once
// The herd in memory: lactation records kept in ascending order of their text keys. Keys
// compare without regard to letter case, in the collation of the user's locale, so "cow1"
// and "COW1" are the same cow. The list owns its records; callers work on copies.
// Indexes are 1-based, as the analysis walks the herd by position.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "herd/cow_record.h"

namespace ovista {

// Orders two keys: negative when a comes first, 0 when they are the same key, positive
// when b comes first. Must be a strict weak order.
using KeyComparator = std::function<int(std::string_view a, std::string_view b)>;

// The user's locale collation at secondary strength (case ignored, accents kept). Keys are
// 8-bit text read as Windows-1252. Keys the collator finds equal but that differ beyond
// letter case (characters it ignores, such as control characters) are told apart by their
// case-folded characters, so two different cows are never merged.
int CompareKeysCaseBlind(std::string_view a, std::string_view b);

class HerdList {
public:
    // An empty list ordered by CompareKeysCaseBlind.
    HerdList();
    // An empty list ordered by the given comparator (tests use a plain one).
    explicit HerdList(KeyComparator compare);

    HerdList(const HerdList&) = delete;
    HerdList& operator=(const HerdList&) = delete;

    // Number of lactations; 0 for the empty list.
    int Count() const { return static_cast<int>(items_.size()); }

    // Copies the record at index (1..Count) into destination. RangeError for a bad index.
    void GetRecord(int index, CowRecord& destination) const;
    // Copies source into the record at index (1..Count). RangeError for a bad index.
    void PutRecord(int index, const CowRecord& source);
    // The key at index (1..Count). RangeError for a bad index.
    const std::string& KeyAt(int index) const;
    // The record at index (1..Count) to read without a copy, valid while the list is not
    // changed. RangeError for a bad index.
    const CowRecord& RecordAt(int index) const;

    // When the key is present: copies its record out, sets index and returns true.
    // When absent: returns false, sets index to -1 and leaves destination untouched.
    bool LocateRecord(std::string_view key, CowRecord& destination, int& index) const;

    // Always true. When the key is present, as LocateRecord; when absent, inserts a zeroed
    // record holding the key (its first kKeyMaxLength characters) at its sorted place,
    // copies it out and sets index to that place (later items move up by one).
    bool FindOrAddRecord(std::string_view key, CowRecord& destination, int& index);

    // Releases every record, last to first, and empties the list.
    void FreeRecords();

private:
    struct Item {
        std::string key;
        CowRecord record;
    };
    // Position (0-based) of the first item whose key is not before key.
    std::size_t LowerBound(std::string_view key) const;
    Item& At(int index) const;

    KeyComparator compare_;
    std::vector<std::unique_ptr<Item>> items_;  // pointers: an insertion moves 8 bytes per item
};

}  // namespace ovista

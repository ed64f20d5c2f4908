#pragma once
// The herd in memory: lactation records kept in ascending order of their text keys. Keys
// compare without regard to letter case, in the collation of the user's locale, so "cow1"
// and "COW1" are the same cow. The list owns its records; callers work on copies.
// Indexes are 1-based, as the analysis walks the herd by position. A list is used by one
// thread at a time, also to read. A record's service and test slots in use lie in the list's
// pool of slots, one run per record.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
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

    ~HerdList();
    HerdList(const HerdList&) = delete;
    HerdList& operator=(const HerdList&) = delete;

    // Number of lactations; 0 for the empty list.
    int Count() const { return static_cast<int>(items_.size()); }

    // Copies the record at index (1..Count), its slots in use with it, into destination.
    // RangeError for a bad index.
    void GetRecord(int index, FullCowRecord& destination) const;
    // Copies source (its slots in use with it) into the record at index (1..Count).
    // RangeError for a bad index.
    void PutRecord(int index, const CowRecord& source);
    // The key at index (1..Count), valid until the list is freed. RangeError for a bad index.
    std::string_view KeyAt(int index) const { return At(index).key(); }
    // The record at index (1..Count) to read or change without a copy, valid while no key is
    // added or the list freed. RangeError for a bad index.
    CowRecord& RecordAt(int index) { return At(index).record; }
    const CowRecord& RecordAt(int index) const { return At(index).record; }
    // Every record in key order (index - 1 is its place), for walks over the whole herd;
    // valid while no key is added or the list freed.
    const std::vector<CowRecord*>& Records() {
        EnsureOrdered();
        return items_;
    }

    // When the key is present: copies its record out, sets index and returns true.
    // When absent: returns false, sets index to -1 and leaves destination untouched.
    bool LocateRecord(std::string_view key, FullCowRecord& destination, int& index) const;

    // Always true. When the key is present, as LocateRecord; when absent, inserts a zeroed
    // record holding the key (its first kKeyMaxLength characters) at its sorted place, with
    // every slot in use as a new FullCowRecord has, copies it out and sets index to that
    // place (later items move up by one).
    bool FindOrAddRecord(std::string_view key, FullCowRecord& destination, int& index);

    // The stored record of key, added as FindOrAddRecord adds it but with no slot in use when
    // absent, to be changed in place. No index is handed back, so a list being filled this way orders its new keys
    // once, when an index is next asked for, instead of at every insertion.
    CowRecord& FindOrAdd(std::string_view key);

    // Gives a record of this list services and tests slots in use (at most kServiceSlots and
    // kPregTestSlots), keeping what its slots held up to those counts; slots added are empty.
    // The record's slots may move: spans of them taken before are stale.
    void SetSlotsInUse(CowRecord& record, int services, int tests);
    // Sets a record of this list to a copy of from (a FullCowRecord, or a record of this or
    // another list), its slots in use with it.
    void Assign(CowRecord& record, const CowRecord& from);

    // Makes room for about count keys and an eighth more, so a list being filled grows its
    // tables at most once; blocks of items are given pages of 2 MB only where count tells
    // that they will be half used. total: the keys it will hold once it has taken over
    // another list's (TakeOver), for which its list of records makes room at once.
    void Reserve(std::size_t count, std::size_t total = 0);

    // Releases every record and its slots and empties the list, its technicians too.
    void FreeRecords();

    // The herd's technicians, each text (cut to kTechMaxLength) once, numbered from 1 in the
    // order first asked for; a service holds its technician's number. 0 for an empty text.
    // RangeError for a new text beyond kMaxTechnicians.
    std::uint32_t TechnicianNumber(std::string_view text);
    // The text of a technician's number; empty for 0. RangeError for a number not given.
    std::string_view Technician(std::uint32_t number) const;
    // Takes the technicians of another list, numbers and all, in place of its own: for
    // records copied from it.
    void CopyTechnicians(const HerdList& from);

    // Takes over the records of rest, a list filled from the rows that follow this list's
    // own, as if those rows had been read into this list: its technicians numbered after
    // this list's. Only when no key of rest is a key here (letter case aside), both lists
    // are found by place codes and the technicians together are within kMaxTechnicians;
    // else false and both lists keep their records. rest is left empty.
    bool TakeOver(HerdList& rest);
    // True while keys are found and ordered by place codes (every key plain and short).
    bool FindsByPlaceCodes() const { return placeCodes_; }

private:
    // A plain key of at most 20 characters as a number: its characters'
    // places, six bits each (0 past its end), the first 10 in high and the rest in low.
    // Codes order as the keys' place texts do, a key before its own extensions.
    struct PlaceCode {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        friend bool operator==(const PlaceCode&, const PlaceCode&) = default;
        friend auto operator<=>(const PlaceCode&, const PlaceCode&) = default;
    };
    // Copies of sort keys, of keys too long for an item and of other spellings of a key, in
    // blocks that never move, freed all at once.
    class TextStore {
    public:
        std::string_view Keep(std::string_view text);
        void Clear();

        // Takes other's blocks, for texts of items taken over.
        void TakeBlocks(TextStore& other);

    private:
        std::vector<std::unique_ptr<char[]>> blocks_;
        char* free_ = nullptr;  // the free end of the last block
        std::size_t left_ = 0;
    };

    // The records' slots in use in blocks that never move: each record's services, then its
    // tests, in one run. A run that grows takes a new one unless it is the latest taken (the
    // old one is left unused: a key met again with more slots than before is rare).
    class SlotPool {
    public:
        // A run of count empty slots.
        unsigned char* Take(std::size_t count);
        // Makes run, of had slots, count slots long where it lies: true when it is the run
        // taken last and its block has room.
        bool ResizeLatest(unsigned char* run, std::size_t had, std::size_t count);
        void Clear();
        // Takes other's blocks, for the slots of records taken over.
        void TakeBlocks(SlotPool& other);

    private:
        static constexpr std::size_t kBlockSlots = 2048;  // 16 KB
        std::vector<std::unique_ptr<std::uint64_t[]>> blocks_;
        unsigned char* latest_ = nullptr;  // the run taken last
        unsigned char* free_ = nullptr;    // the free end of the last block
        std::size_t left_ = 0;             // slots free in it
    };

    // An item's key in 24 bytes: a herd file's keys (20 characters) inside the item, longer
    // ones in the list's texts.
    class KeyText {
    public:
        void Set(std::string_view text, TextStore& texts);
        std::string_view View() const {
            if (size_ != kElsewhere) return {chars_, size_};
            const char* data = nullptr;
            std::size_t size = 0;
            std::memcpy(&data, chars_, sizeof data);
            std::memcpy(&size, chars_ + sizeof data, sizeof size);
            return {data, size};
        }

    private:
        static constexpr std::uint8_t kInside = 23;
        static constexpr std::uint8_t kElsewhere = 255;  // chars_ holds the text's address and size
        char chars_[kInside]{};
        std::uint8_t size_ = 0;
    };
    struct Item {
        // What orders the item: its place code while the list orders by codes, else its sort
        // key (in texts_; empty with a replaced comparator). The list knows which it holds.
        union Order {
            PlaceCode code;
            std::string_view collationKey;
            Order() : code() {}
        };
        CowRecord record;  // first: the list holds items by their records' addresses
        Order order;
        KeyText keyText;

        std::string_view key() const { return keyText.View(); }
        const PlaceCode& code() const { return order.code; }
        std::string_view collationKey() const { return order.collationKey; }
        void SetCode(const PlaceCode& code) { std::construct_at(&order.code, code); }
        void SetCollationKey(std::string_view key) { std::construct_at(&order.collationKey, key); }
    };
    static_assert(sizeof(Item) == sizeof(CowRecord) + 40);
    static_assert(std::is_standard_layout_v<Item>);  // an item is at its record's address
    static Item* ItemOfRecord(CowRecord* record) { return std::launder(reinterpret_cast<Item*>(record)); }
    static const Item* ItemOfRecord(const CowRecord* record) { return std::launder(reinterpret_cast<const Item*>(record)); }
    // A key to search for: its text, and its sort key under the default order.
    struct Probe {
        std::string_view key;
        std::string_view collationKey;  // in probeKey_, until the next probe
    };

    // Items by a text (key text or sort key) in an open-addressed table; one text may map
    // to several items.
    class TextIndex {
    public:
        void Add(std::string_view text, Item* item);
        void Reserve(std::size_t count);
        // Calls found(item) for each item added under text until it returns true; that item
        // or nullptr.
        template <class Found>
        Item* Find(std::string_view text, Found found) const;
        void Clear();

    private:
        struct Slot {
            std::uint64_t hash = 0;
            std::string_view text;
            Item* item = nullptr;  // nullptr: the slot is free
        };
        static std::uint64_t Hash(std::string_view text);
        void Grow();
        std::vector<Slot> slots_;  // a power of two in size, at most half full
        std::size_t used_ = 0;
    };

    // Items by place code in an open-addressed table of 8-byte slots (part of the code's
    // hash and the item's number), so that a herd's index is small beside its records.
    class CodeIndex {
    public:
        void Add(const PlaceCode& code, std::uint32_t number);
        void Reserve(std::size_t count);
        // The item of code, or nullptr; itemOf(number) gives the item numbered number.
        template <class ItemOf>
        Item* Find(const PlaceCode& code, ItemOf itemOf) const;
        void Clear();
        void Release();  // Clear, and give back its memory

    private:
        struct Slot {
            std::uint32_t hash = 0;
            std::uint32_t number = 0;  // the item's number plus one; 0: the slot is free
        };
        static std::uint32_t Hash(const PlaceCode& code);
        void Grow();
        std::vector<Slot> slots_;  // a power of two in size, at most half full
        std::size_t used_ = 0;
    };

    Probe MakeProbe(std::string_view key) const;
    // Gives every item its place text as sort key and stops ordering by codes: for a key
    // that has no code, or a search that needs sort keys.
    void UsePlaceTexts() const;
    CowRecord& FindOrAddByCode(std::string_view key, const PlaceCode& code);
    // Orders an item against a probe as the comparator orders their keys.
    int Compare(const Item& item, const Probe& probe) const;
    // Position (0-based) of the first item whose key is not before the probe's.
    std::size_t LowerBound(const Probe& probe) const;
    // True when the item at position at (from LowerBound) holds the probe's key.
    bool Holds(std::size_t at, const Probe& probe) const {
        return at < items_.size() && Compare(*ItemOfRecord(items_[at]), probe) == 0;
    }
    // The item of an equal key, or nullptr; the list need not be in order.
    Item* FindEqual(const Probe& probe) const;
    Item& Insert(std::size_t at, const Probe& probe);
    Item& NewItem();
    // The item NewItem made as its number-th (from 0).
    Item& ItemNumbered(std::uint32_t number) const;
    // The number of the item NewItem made last.
    std::uint32_t LatestNumber() const;
    // Gives every item the collation's sort key in place of its plain one.
    void UseCollationKeys() const;
    void Remember(std::string_view key, Item* item);
    void EnsureOrdered() const;
    // Every pass of the analysis walks the herd through At: the usual case stays inline.
    Item& At(int index) const {
        if (index < 1 || index > Count() || !ordered_) return AtChecked(index);
        return *ItemOfRecord(items_[static_cast<std::size_t>(index - 1)]);
    }
    Item& AtChecked(int index) const;

    KeyComparator compare_;  // empty: the default order, through sort keys
    // Items live in blocks that never move; items_ holds their records in key order, so an
    // insertion moves 8 bytes per item, the indexes below can point at items and the
    // analysis walks the records without a list of its own.
    // Room for items, each made (all zero) when it is taken, while its memory is at hand: a
    // first block of 256 (42 KB) from the heap unless Reserve expects four times as many,
    // then blocks of 2 MB taken from the system on 2 MB boundaries and kept for the next
    // herd, so that where the system offers pages of 2 MB a large herd's records cost a page
    // fault per 2 MB instead of one per 4 KB. A list that takes over another's items takes
    // their blocks too; the item numbers go on through them.
    struct ItemRoom {
        alignas(Item) unsigned char bytes[sizeof(Item)];
    };
    static constexpr std::size_t kFirstItems = 256;
    static constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;
    static constexpr std::size_t kLargeBlockItems = kLargeBlockBytes / sizeof(ItemRoom);
    struct ItemBlock {
        ItemRoom* rooms;
        std::size_t first;  // the number of the item in its first room
        std::size_t size;   // rooms that take numbers
    };
    std::vector<ItemBlock> itemBlocks_;
    std::vector<std::unique_ptr<ItemRoom[]>> firstBlocks_;
    std::vector<ItemRoom*> largeBlocks_;  // given back when the list is freed
    std::size_t itemsMade_ = 0;
    std::size_t expectedItems_ = 0;  // Reserve's count
    void GiveBackBlocks();
    mutable std::vector<CowRecord*> items_;
    mutable bool ordered_ = true;  // false after FindOrAdd appended keys out of order
    mutable TextStore texts_;
    mutable std::string probeKey_;  // sort key of the latest probe
    SlotPool slots_;
    // True while every key is plain and the collation orders plain keys by place: the sort
    // keys are then places. The first key that is not plain turns them into collation keys.
    mutable bool plainKeys_ = false;
    // True while, besides, every key has a place code: items are then found and ordered by
    // their codes (no sort keys are made), the common case of a herd file.
    mutable bool placeCodes_ = false;
    // Items by code, made once a key comes out of order: until then a new key is one after
    // the last, and a known one is found by halving the ordered items.
    mutable CodeIndex byCode_;
    mutable bool codesIndexed_ = false;
    void IndexCodes();
    Item* latest_ = nullptr;  // the item a plain key last found or added
    // Technicians by number (0: the empty text), and numbers by text.
    std::vector<ShortText<kTechMaxLength>> technicians_{1};
    std::unordered_map<std::string, std::uint32_t> technicianNumbers_;
    std::uint32_t latestTechnician_ = 0;  // a herd's rows name the same few technicians
    // Default order only: every key text asked for, and items by sort key, so a herd's
    // repeated keys are found without collating them again.
    mutable TextIndex byText_;  // not kept while the keys are plain
    mutable TextIndex byCollationKey_;
};

}  // namespace ovista

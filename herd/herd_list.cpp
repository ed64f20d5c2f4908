#include "herd/herd_list.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uniset.h>
#include <unicode/usetiter.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "herd/errors.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OVISTA_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OVISTA_ADDRESS_SANITIZER
#endif
#if defined(__linux__) && !defined(OVISTA_ADDRESS_SANITIZER)
#include <sys/mman.h>
#define OVISTA_LARGE_BLOCKS_FROM_SYSTEM
#endif

namespace ovista {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones stay as C1 controls.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void DecodeCp1252(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        out.push_back(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80]
                                                  : static_cast<char16_t>(byte));
    }
}

// Places of the plain key characters (space, digits, ASCII letters without regard to case)
// in the order most collations give them; 0 for any other character.
constexpr std::array<std::uint8_t, 256> PlainPlaces() {
    std::array<std::uint8_t, 256> places{};
    places[' '] = 1;
    for (int c = '0'; c <= '9'; ++c) places[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(2 + c - '0');
    for (int c = 'a'; c <= 'z'; ++c) {
        places[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(12 + c - 'a');
        places[static_cast<std::size_t>(c - 'a' + 'A')] = static_cast<std::uint8_t>(12 + c - 'a');
    }
    return places;
}
constexpr std::array<std::uint8_t, 256> kPlainPlaces = PlainPlaces();

// Byte order of two texts, as std::string_view::compare gives it, eight bytes at a time:
// sort keys are short and compared many times per herd, and a library call costs more than
// the comparison.
int CompareBytes(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t at = 0;
    for (; at + 8 <= common; at += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a.data() + at, 8);
        std::memcpy(&y, b.data() + at, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little) {
                x = __builtin_bswap64(x);  // the first differing byte decides
                y = __builtin_bswap64(y);
            }
            return x < y ? -1 : 1;
        }
    }
    for (; at < common; ++at) {
        const auto x = static_cast<unsigned char>(a[at]);
        const auto y = static_cast<unsigned char>(b[at]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The place code of a key (HerdList::PlaceCode, here as two words), or false when the key
// is longer than 20 characters or holds a character that is not plain.
bool PlaceCodeOf(std::string_view key, std::uint64_t& high, std::uint64_t& low) {
    if (key.size() == 20) {  // a herd file's every key: no filling past its end
        const auto* chars = reinterpret_cast<const unsigned char*>(key.data());
        std::uint64_t words[2] = {0, 0};
        bool plain = true;
        for (std::size_t i = 0; i < 10; ++i) {
            const std::uint8_t first = kPlainPlaces[chars[i]];
            const std::uint8_t second = kPlainPlaces[chars[10 + i]];
            words[0] = words[0] << 6 | first;
            words[1] = words[1] << 6 | second;
            plain &= (first != 0) & (second != 0);
        }
        high = words[0];
        low = words[1];
        return plain;
    }
    if (key.size() > 20) return false;
    unsigned char chars[20] = {};  // places of 0 past the end
    std::memcpy(chars, key.data(), key.size());
    std::uint64_t words[2] = {0, 0};
    std::size_t placed = 0;  // characters with a place: all of the key's when it is plain
    for (std::size_t i = 0; i < 10; ++i) {
        const std::uint8_t first = kPlainPlaces[chars[i]];
        const std::uint8_t second = kPlainPlaces[chars[10 + i]];
        words[0] = words[0] << 6 | first;
        words[1] = words[1] << 6 | second;
        placed += (first != 0) + (second != 0);
    }
    high = words[0];
    low = words[1];
    return placed == key.size();
}

class KeyCollator {
public:
    KeyCollator() {
        collator_ = Open(icu::Locale::getDefault());
        if (!collator_) {
            // The POSIX locale ("C") orders by code point, so its letters differ in case
            // at every strength; the root collation is the neutral case-blind one.
            collator_ = Open(icu::Locale::getRoot());
        }
        if (!collator_) {
            throw OvistaError("No collation for the herd keys");
        }
        plainOrder_ = OrdersPlainKeysByPlace();
    }

    // Keys of plain characters only (nearly every herd's: cow numbers and day numbers) order
    // under most collations as the places of their characters compared one by one. When
    // this collation is one of those, PlainSortKey gives such a key a sort key of places,
    // which orders plain keys as the collation does without collating them.
    bool PlainOrder() const { return plainOrder_; }

    static bool IsPlain(std::string_view key) {
        for (char c : key) {
            if (kPlainPlaces[static_cast<unsigned char>(c)] == 0) return false;
        }
        return true;
    }

    static void PlainSortKey(std::string_view key, std::string& out) {
        out.resize(key.size());
        for (std::size_t i = 0; i < key.size(); ++i) {
            out[i] = static_cast<char>(kPlainPlaces[static_cast<unsigned char>(key[i])]);
        }
    }

    int Compare(std::string_view a, std::string_view b) {
        DecodeCp1252(a, a16_);
        DecodeCp1252(b, b16_);
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult result =
            collator_->compare(a16_.data(), static_cast<int32_t>(a16_.size()), b16_.data(),
                               static_cast<int32_t>(b16_.size()), status);
        if (U_SUCCESS(status) && result != UCOL_EQUAL) {
            return result == UCOL_LESS ? -1 : 1;
        }
        return FoldedCompare();
    }

    // Keys the collation finds equal: their case-folded characters decide.
    int CompareFolded(std::string_view a, std::string_view b) {
        DecodeCp1252(a, a16_);
        DecodeCp1252(b, b16_);
        return FoldedCompare();
    }

    // The collation sort key of a key: its bytes compare as Compare's collation step does.
    void SortKey(std::string_view key, std::string& out) {
        DecodeCp1252(key, a16_);
        const auto length = static_cast<int32_t>(a16_.size());
        out.resize(std::max<std::size_t>(out.capacity(), 64));
        int32_t needed = collator_->getSortKey(a16_.data(), length,
                                               reinterpret_cast<uint8_t*>(out.data()),
                                               static_cast<int32_t>(out.size()));
        if (needed > static_cast<int32_t>(out.size())) {
            out.resize(static_cast<std::size_t>(needed));
            needed = collator_->getSortKey(a16_.data(), length,
                                           reinterpret_cast<uint8_t*>(out.data()), needed);
        }
        if (needed <= 0) {
            throw OvistaError("No collation for the herd keys");
        }
        out.resize(static_cast<std::size_t>(needed - 1));  // without its closing zero byte
    }

private:
    // A case-blind collator for the locale, or nullptr when the locale has none.
    static std::unique_ptr<icu::Collator> Open(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !collator) {
            return nullptr;
        }
        collator->setStrength(icu::Collator::SECONDARY);
        const char16_t lower[] = u"a";
        const char16_t upper[] = u"A";
        if (collator->compare(lower, 1, upper, 1, status) != UCOL_EQUAL || U_FAILURE(status)) {
            return nullptr;
        }
        return collator;
    }

    // True when the collation leaves the plain characters untailored, with no option that
    // changes their order, and orders every plain key of one and two characters as their
    // places do.
    bool OrdersPlainKeysByPlace() {
        UErrorCode status = U_ZERO_ERROR;
        if (collator_->getAttribute(UCOL_ALTERNATE_HANDLING, status) != UCOL_NON_IGNORABLE ||
            collator_->getAttribute(UCOL_NUMERIC_COLLATION, status) != UCOL_OFF ||
            collator_->getAttribute(UCOL_CASE_LEVEL, status) != UCOL_OFF || U_FAILURE(status)) {
            return false;
        }
        if (collator_->getReorderCodes(nullptr, 0, status) != 0) return false;
        status = U_ZERO_ERROR;
        const std::unique_ptr<icu::UnicodeSet> tailored(collator_->getTailoredSet(status));
        if (U_FAILURE(status) || !tailored) return false;
        for (icu::UnicodeSetIterator it(*tailored); it.next();) {
            const icu::UnicodeString text = it.isString() ? it.getString() : icu::UnicodeString(it.getCodepoint());
            for (int32_t i = 0; i < text.length(); ++i) {
                const char16_t c = text.charAt(i);
                if (c < 0x80 && kPlainPlaces[c] != 0) return false;
            }
        }
        // The keys in the order of their places (a key before its extensions), the keys of
        // the same places side by side: each must sort as the one before it, or after it
        // when their places differ.
        std::array<std::string, 64> byPlace;  // the characters of each place
        for (int c = 0; c < 256; ++c) {
            const std::uint8_t place = kPlainPlaces[static_cast<std::size_t>(c)];
            if (place != 0) byPlace[place] += static_cast<char>(c);
        }
        std::string key;
        std::string sortKey;
        std::string previousSortKey;
        std::string previousPlaces;
        std::string places;
        bool first = true;
        const auto inOrder = [&] {
            PlainSortKey(key, places);
            SortKey(key, sortKey);
            const bool samePlaces = places == previousPlaces;
            const int byCollation = previousSortKey.compare(sortKey);
            const bool ordered = first || (samePlaces ? byCollation == 0 : byCollation < 0);
            first = false;
            previousPlaces.swap(places);
            previousSortKey.swap(sortKey);
            return ordered;
        };
        for (const std::string& firsts : byPlace) {
            for (const char a : firsts) {
                key.assign(1, a);
                if (!inOrder()) return false;
            }
            for (const std::string& seconds : byPlace) {
                for (const char a : firsts) {
                    for (const char b : seconds) {
                        key.assign({a, b});
                        if (!inOrder()) return false;
                    }
                }
            }
        }
        return true;
    }

    int FoldedCompare() const {
        UErrorCode status = U_ZERO_ERROR;
        int folded = u_strCaseCompare(a16_.data(), static_cast<int32_t>(a16_.size()), b16_.data(),
                                      static_cast<int32_t>(b16_.size()),
                                      U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
        return folded < 0 ? -1 : (folded > 0 ? 1 : 0);
    }

    std::unique_ptr<icu::Collator> collator_;
    bool plainOrder_ = false;
    std::u16string a16_;  // reused buffers: keys are compared many times per herd
    std::u16string b16_;
};

// The blocks of 2 MB that hold the items of large herds (HerdList::NewItem). Taken from the
// system on a 2 MB boundary with the advice to back them with pages of 2 MB where it can
// (under a hypervisor a page fault can cost nearly as much for 2 MB as for 4 KB), and kept
// once given back: the next herd takes them again without faults, and the process holds no
// more than its largest herds needed, as the heap does (heap.h). Under the address
// sanitizer they come from the heap, where it watches them.
class LargeItemBlocks {
public:
    // largePages: the block is expected to be half used at least; else its pages are of
    // 4 KB and only those used are taken.
    void* Take(bool largePages) {
        void* block = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!kept_.empty()) {
                block = kept_.back();
                kept_.pop_back();
            } else {
                kept_.reserve(++made_);  // room for every block, so Give never throws
            }
        }
        if (block == nullptr) block = Map();
#if defined(OVISTA_LARGE_BLOCKS_FROM_SYSTEM) && defined(MADV_HUGEPAGE)
        ::madvise(block, kBytes, largePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);  // advice only
#else
        (void)largePages;
#endif
        return block;
    }

    void Give(void* block) {
        const std::lock_guard<std::mutex> lock(mutex_);
        kept_.push_back(block);
    }

private:
    static constexpr std::size_t kBytes = std::size_t{2} << 20;  // HerdList::kLargeBlockBytes

    static void* Map() {
#if defined(OVISTA_LARGE_BLOCKS_FROM_SYSTEM)
        void* const mapped = ::mmap(nullptr, 2 * kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + kBytes - 1) & ~std::uintptr_t{kBytes - 1};
        if (aligned > start) ::munmap(mapped, aligned - start);
        ::munmap(reinterpret_cast<void*>(aligned + kBytes), start + kBytes - aligned);  // never empty
        return reinterpret_cast<void*>(aligned);
#else
        return ::operator new(kBytes, std::align_val_t{64});
#endif
    }

    std::mutex mutex_;
    std::vector<void*> kept_;
    std::size_t made_ = 0;
};

LargeItemBlocks& LargeBlocks() {
    static auto* const blocks = new LargeItemBlocks;  // never freed: lists may outlive statics
    return *blocks;
}

KeyCollator& Collator() {
    thread_local KeyCollator collator;  // the user's locale is fixed for the run
    return collator;
}

}  // namespace

int CompareKeysCaseBlind(std::string_view a, std::string_view b) {
    return Collator().Compare(a, b);
}

HerdList::HerdList() : plainKeys_(Collator().PlainOrder()), placeCodes_(plainKeys_) {}

HerdList::HerdList(KeyComparator compare) : compare_(std::move(compare)) {}

std::string_view HerdList::TextStore::Keep(std::string_view text) {
    constexpr std::size_t kBlock = 16 * 1024;
    if (text.empty()) return {};
    if (text.size() > left_) {
        const std::size_t size = std::max(kBlock, text.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = blocks_.back().get();
        left_ = size;
    }
    std::memcpy(free_, text.data(), text.size());
    const std::string_view kept(free_, text.size());
    free_ += text.size();
    left_ -= text.size();
    return kept;
}

void HerdList::KeyText::Set(std::string_view text, TextStore& texts) {
    if (text.size() <= kInside) {
        std::memcpy(chars_, text.data(), text.size());
        size_ = static_cast<std::uint8_t>(text.size());
        return;
    }
    const std::string_view kept = texts.Keep(text);
    const char* const data = kept.data();
    const std::size_t size = kept.size();
    std::memcpy(chars_, &data, sizeof data);
    std::memcpy(chars_ + sizeof data, &size, sizeof size);
    size_ = kElsewhere;
}

void HerdList::TextStore::TakeBlocks(TextStore& other) {
    blocks_.reserve(blocks_.size() + other.blocks_.size());
    for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
    other.Clear();
}

void HerdList::TextStore::Clear() {
    blocks_.clear();
    free_ = nullptr;
    left_ = 0;
}

std::uint64_t HerdList::TextIndex::Hash(std::string_view text) {
    // Keys are short: mix eight bytes at a time.
    std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ text.size();
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
        hash ^= hash >> 32;
    }
    std::uint64_t word = 0;
    if (at < text.size()) std::memcpy(&word, text.data() + at, text.size() - at);
    hash = (hash ^ word) * 0xC4CEB9FE1A85EC53ULL;
    return hash ^ (hash >> 29);
}

void HerdList::TextIndex::Grow() {
    std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.item == nullptr) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].item != nullptr) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void HerdList::TextIndex::Reserve(std::size_t count) {
    while (slots_.size() < 2 * count) Grow();
}

void HerdList::TextIndex::Add(std::string_view text, Item* item) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const std::uint64_t hash = Hash(text);
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].item != nullptr) at = (at + 1) & mask;
    slots_[at] = Slot{hash, text, item};
    ++used_;
}

template <class Found>
HerdList::Item* HerdList::TextIndex::Find(std::string_view text, Found found) const {
    if (used_ == 0) return nullptr;
    const std::uint64_t hash = Hash(text);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].item != nullptr; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.hash == hash && SameBytes(slot.text, text) && found(slot.item)) return slot.item;
    }
    return nullptr;
}

std::uint32_t HerdList::CodeIndex::Hash(const PlaceCode& code) {
    std::uint64_t hash = (code.high ^ (code.low * 0x9E3779B97F4A7C15ULL)) * 0xFF51AFD7ED558CCDULL;
    return static_cast<std::uint32_t>(hash ^ (hash >> 31));
}

void HerdList::CodeIndex::Grow() {
    std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.number == 0) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].number != 0) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void HerdList::CodeIndex::Reserve(std::size_t count) {
    if (used_ == 0 && slots_.size() < 2 * count) {  // nothing to move: taken at its size at once
        slots_ = std::vector<Slot>(std::bit_ceil(std::max<std::size_t>(64, 2 * count)));
        return;
    }
    while (slots_.size() < 2 * count) Grow();
}

void HerdList::CodeIndex::Add(const PlaceCode& code, std::uint32_t number) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t hash = Hash(code);
    std::size_t at = hash & mask;
    while (slots_[at].number != 0) at = (at + 1) & mask;
    slots_[at] = Slot{hash, number + 1};
    ++used_;
}

template <class ItemOf>
HerdList::Item* HerdList::CodeIndex::Find(const PlaceCode& code, ItemOf itemOf) const {
    if (used_ == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t hash = Hash(code);
    for (std::size_t at = hash & mask; slots_[at].number != 0; at = (at + 1) & mask) {
        if (slots_[at].hash != hash) continue;
        Item& item = itemOf(slots_[at].number - 1);
        if (item.code() == code) return &item;
    }
    return nullptr;
}

void HerdList::CodeIndex::Clear() {
    slots_.clear();
    used_ = 0;
}

void HerdList::CodeIndex::Release() {
    std::vector<Slot>().swap(slots_);
    used_ = 0;
}

void HerdList::TextIndex::Clear() {
    slots_.clear();
    used_ = 0;
}

HerdList::Probe HerdList::MakeProbe(std::string_view key) const {
    Probe probe{key, {}};
    if (placeCodes_) UsePlaceTexts();
    if (!compare_) {
        if (plainKeys_ && !KeyCollator::IsPlain(key)) UseCollationKeys();
        if (plainKeys_) {
            KeyCollator::PlainSortKey(key, probeKey_);
        } else {
            Collator().SortKey(key, probeKey_);
        }
        probe.collationKey = probeKey_;
    }
    return probe;
}

void HerdList::UsePlaceTexts() const {
    // Codes order as place texts do: the order stays, only what holds it changes.
    placeCodes_ = false;
    byCode_.Clear();
    codesIndexed_ = false;
    byCollationKey_.Clear();
    byCollationKey_.Reserve(items_.capacity());
    std::string placeText;
    for (CowRecord* record : items_) {
        Item* const item = ItemOfRecord(record);
        KeyCollator::PlainSortKey(item->key(), placeText);
        item->SetCollationKey(texts_.Keep(placeText));
        byCollationKey_.Add(item->collationKey(), item);
    }
}

void HerdList::UseCollationKeys() const {
    // Plain keys keep their order under the collation's own sort keys; only the keys change,
    // and the key texts are indexed as well from now on.
    plainKeys_ = false;
    placeCodes_ = false;
    byCode_.Clear();
    codesIndexed_ = false;
    byCollationKey_.Clear();
    byCollationKey_.Reserve(items_.size());
    byText_.Clear();
    byText_.Reserve(items_.size());
    std::string sortKey;
    for (CowRecord* record : items_) {
        Item* const item = ItemOfRecord(record);
        Collator().SortKey(item->key(), sortKey);
        item->SetCollationKey(texts_.Keep(sortKey));
        byCollationKey_.Add(item->collationKey(), item);
        byText_.Add(item->key(), item);
    }
}

int HerdList::Compare(const Item& item, const Probe& probe) const {
    if (compare_) return compare_(item.key(), probe.key);
    const int byCollation = CompareBytes(item.collationKey(), probe.collationKey);
    if (byCollation != 0) return byCollation < 0 ? -1 : 1;
    return Collator().CompareFolded(item.key(), probe.key);
}

void HerdList::EnsureOrdered() const {
    if (ordered_) return;
    // Keys in the list are all different, so the order is total and any sort gives the one
    // that insertions in sorted place would have given.
    if (placeCodes_) {
        std::sort(items_.begin(), items_.end(),
                  [](const CowRecord* a, const CowRecord* b) { return ItemOfRecord(a)->code() < ItemOfRecord(b)->code(); });
        ordered_ = true;
        return;
    }
    std::sort(items_.begin(), items_.end(), [](const CowRecord* x, const CowRecord* y) {
        const Item* const a = ItemOfRecord(x);
        const Item* const b = ItemOfRecord(y);
        const int byCollation = CompareBytes(a->collationKey(), b->collationKey());
        if (byCollation != 0) return byCollation < 0;
        return Collator().CompareFolded(a->key(), b->key()) < 0;
    });
    ordered_ = true;
}

HerdList::Item& HerdList::AtChecked(int index) const {
    if (index < 1 || index > Count()) {
        throw RangeError("List index out of bounds (" + std::to_string(index) + ")");
    }
    EnsureOrdered();
    return *ItemOfRecord(items_[static_cast<std::size_t>(index - 1)]);
}

void HerdList::GetRecord(int index, FullCowRecord& destination) const {
    destination = FullCowRecord(At(index).record);
}

void HerdList::PutRecord(int index, const CowRecord& source) {
    Assign(At(index).record, source);
}

unsigned char* HerdList::SlotPool::Take(std::size_t count) {
    if (count > left_) {
        blocks_.reserve(blocks_.size() + 1);  // before the block, which it must not lose
        blocks_.push_back(std::make_unique_for_overwrite<std::uint64_t[]>(kBlockSlots));
        free_ = reinterpret_cast<unsigned char*>(blocks_.back().get());
        left_ = kBlockSlots;
    }
    unsigned char* const run = free_;
    std::memset(run, 0, count * sizeof(std::uint64_t));
    free_ += count * sizeof(std::uint64_t);
    left_ -= count;
    latest_ = run;
    return run;
}

bool HerdList::SlotPool::ResizeLatest(unsigned char* run, std::size_t had, std::size_t count) {
    if (run != latest_ || had == 0 || count > had + left_) return false;
    if (count > had) std::memset(run + had * sizeof(std::uint64_t), 0, (count - had) * sizeof(std::uint64_t));
    free_ = run + count * sizeof(std::uint64_t);
    left_ = left_ + had - count;
    return true;
}

void HerdList::SlotPool::TakeBlocks(SlotPool& other) {
    blocks_.reserve(blocks_.size() + other.blocks_.size());
    for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
    other.Clear();
}

void HerdList::SlotPool::Clear() {
    blocks_.clear();
    latest_ = free_ = nullptr;
    left_ = 0;
}

void HerdList::SetSlotsInUse(CowRecord& record, int services, int tests) {
    const auto newServices = static_cast<std::size_t>(std::clamp(services, 0, kServiceSlots));
    const auto newTests = static_cast<std::size_t>(std::clamp(tests, 0, kPregTestSlots));
    const std::size_t oldServices = record.serviceSlots_;  // a record of a list has no more room
    const std::size_t oldTests = record.testSlots_;
    if (newServices == oldServices && newTests == oldTests) return;
    const std::size_t keptServices = std::min(oldServices, newServices);
    const std::size_t keptTests = std::min(oldTests, newTests);
    constexpr std::size_t kSlot = sizeof(ServiceRecord);
    auto* const old = reinterpret_cast<unsigned char*>(record.ServiceSlots());
    unsigned char* run = old;
    if (slots_.ResizeLatest(old, oldServices + oldTests, newServices + newTests)) {
        // The tests move to follow the new service room; the slots between are emptied.
        std::memmove(run + newServices * kSlot, old + oldServices * kSlot, keptTests * kSlot);
        if (newServices > oldServices) std::memset(run + oldServices * kSlot, 0, (newServices - oldServices) * kSlot);
        std::memset(run + (newServices + keptTests) * kSlot, 0, (newTests - keptTests) * kSlot);
    } else {
        run = slots_.Take(newServices + newTests);
        std::memcpy(run, old, keptServices * kSlot);
        std::memcpy(run + newServices * kSlot, old + oldServices * kSlot, keptTests * kSlot);
    }
    record.serviceSlots_ = static_cast<std::uint8_t>(newServices);
    record.testSlots_ = static_cast<std::uint8_t>(newTests);
    record.serviceRoom_ = static_cast<std::uint8_t>(newServices);
    record.slotsAt_ = run - reinterpret_cast<unsigned char*>(&record);
}

void HerdList::Assign(CowRecord& record, const CowRecord& from) {
    if (&record == &from) return;
    SetSlotsInUse(record, from.ServiceSlotsInUse(), from.TestSlotsInUse());
    const std::uint8_t room = record.serviceRoom_;
    const std::int64_t slotsAt = record.slotsAt_;
    record = from;
    record.serviceRoom_ = room;
    record.slotsAt_ = slotsAt;
    std::copy_n(from.ServiceSlots(), from.ServiceSlotsInUse(), record.ServiceSlots());
    std::copy_n(from.TestSlots(), from.TestSlotsInUse(), record.TestSlots());
}

std::size_t HerdList::LowerBound(const Probe& probe) const {
    EnsureOrdered();
    std::size_t low = 0;
    std::size_t high = items_.size();
    while (low < high) {
        std::size_t mid = low + (high - low) / 2;
        if (Compare(*ItemOfRecord(items_[mid]), probe) < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

HerdList::Item* HerdList::FindEqual(const Probe& probe) const {
    return byCollationKey_.Find(probe.collationKey, [&](const Item* item) {
        return Collator().CompareFolded(item->key(), probe.key) == 0;
    });
}

void HerdList::Remember(std::string_view key, Item* item) {
    if (compare_) return;
    if (key != item->key()) key = texts_.Keep(key);
    byText_.Add(key, item);
}

HerdList::Item& HerdList::NewItem() {
    static_assert(std::is_trivially_destructible_v<Item>, "blocks are freed without destructors");
    if (itemBlocks_.empty() || itemsMade_ == itemBlocks_.back().first + itemBlocks_.back().size) {
        itemBlocks_.reserve(itemBlocks_.size() + 1);  // before the block, which it must not lose
        if (itemBlocks_.empty() && expectedItems_ < 4 * kFirstItems) {
            firstBlocks_.reserve(firstBlocks_.size() + 1);
            firstBlocks_.push_back(std::make_unique_for_overwrite<ItemRoom[]>(kFirstItems));
            itemBlocks_.push_back({firstBlocks_.back().get(), itemsMade_, kFirstItems});
        } else {
            largeBlocks_.reserve(largeBlocks_.size() + 1);
            const bool halfUsed = itemsMade_ + kLargeBlockItems / 2 <= expectedItems_;
            largeBlocks_.push_back(static_cast<ItemRoom*>(LargeBlocks().Take(halfUsed)));
            itemBlocks_.push_back({largeBlocks_.back(), itemsMade_, kLargeBlockItems});
        }
    }
    const ItemBlock& block = itemBlocks_.back();
    ItemRoom* const room = &block.rooms[itemsMade_ - block.first];
    ++itemsMade_;
    return *new (room->bytes) Item{};  // a zeroed record
}

HerdList::Item& HerdList::ItemNumbered(std::uint32_t number) const {
    const ItemBlock* block = itemBlocks_.data();
    while (number - block->first >= block->size) ++block;  // a list has a few blocks
    return *std::launder(reinterpret_cast<Item*>(block->rooms[number - block->first].bytes));
}

std::uint32_t HerdList::LatestNumber() const { return static_cast<std::uint32_t>(itemsMade_ - 1); }

void HerdList::GiveBackBlocks() {
    for (ItemRoom* block : largeBlocks_) LargeBlocks().Give(block);
    largeBlocks_.clear();
    firstBlocks_.clear();
    itemBlocks_.clear();
    itemsMade_ = 0;
    expectedItems_ = 0;
}

HerdList::~HerdList() { GiveBackBlocks(); }

HerdList::Item& HerdList::Insert(std::size_t at, const Probe& probe) {
    Item& item = NewItem();
    item.keyText.Set(probe.key, texts_);
    item.SetCollationKey(texts_.Keep(probe.collationKey));
    item.record.Key = probe.key.substr(0, kKeyMaxLength);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), &item.record);
    if (!compare_) {
        byCollationKey_.Add(item.collationKey(), &item);
        if (!plainKeys_) Remember(item.key(), &item);
    }
    return item;
}

bool HerdList::LocateRecord(std::string_view key, FullCowRecord& destination, int& index) const {
    const Probe probe = MakeProbe(key);
    std::size_t at = LowerBound(probe);
    if (Holds(at, probe)) {
        destination = FullCowRecord(*items_[at]);
        index = static_cast<int>(at) + 1;
        return true;
    }
    index = -1;
    return false;
}

bool HerdList::FindOrAddRecord(std::string_view key, FullCowRecord& destination, int& index) {
    const Probe probe = MakeProbe(key);
    std::size_t at = LowerBound(probe);
    if (Holds(at, probe)) {
        destination = FullCowRecord(*items_[at]);
        index = static_cast<int>(at) + 1;
        return true;
    }
    CowRecord& added = Insert(at, probe).record;
    SetSlotsInUse(added, kServiceSlots, kPregTestSlots);
    destination = FullCowRecord(added);
    index = static_cast<int>(at) + 1;
    return true;
}

void HerdList::IndexCodes() {
    byCode_.Reserve(std::max(expectedItems_ + expectedItems_ / 8, items_.size()));
    for (std::uint32_t number = 0; number < itemsMade_; ++number) byCode_.Add(ItemNumbered(number).code(), number);
    codesIndexed_ = true;
}

CowRecord& HerdList::FindOrAddByCode(std::string_view key, const PlaceCode& code) {
    // A herd file sorted by cow gives each row the calving its previous row added.
    if (latest_ != nullptr && latest_->code() == code) return latest_->record;
    const bool afterLast = ordered_ && (items_.empty() || ItemOfRecord(items_.back())->code() < code);
    if (!afterLast) {
        Item* known = nullptr;
        if (codesIndexed_) {
            known = byCode_.Find(code, [this](std::uint32_t number) -> Item& { return ItemNumbered(number); });
        } else {  // still in order
            const auto before = [](const CowRecord* record, const PlaceCode& c) { return ItemOfRecord(record)->code() < c; };
            const auto at = std::lower_bound(items_.begin(), items_.end(), code, before);
            if (at != items_.end() && ItemOfRecord(*at)->code() == code) known = ItemOfRecord(*at);
        }
        if (known != nullptr) {
            latest_ = known;
            return known->record;
        }
    }
    Item& item = NewItem();
    item.keyText.Set(key, texts_);
    item.SetCode(code);
    item.record.Key = key.substr(0, kKeyMaxLength);
    items_.push_back(&item.record);
    if (codesIndexed_) {
        byCode_.Add(code, LatestNumber());
    } else if (!afterLast) {
        IndexCodes();
    }
    if (!afterLast) ordered_ = false;
    latest_ = &item;
    return item.record;
}

CowRecord& HerdList::FindOrAdd(std::string_view key) {
    if (placeCodes_) {
        // A herd file sorted by cow gives each row the calving its previous row added, as a
        // rule in the same letters: the same text is the same item.
        if (latest_ != nullptr && SameBytes(latest_->key(), key)) return latest_->record;
        PlaceCode code;
        if (PlaceCodeOf(key, code.high, code.low)) return FindOrAddByCode(key, code);
        UsePlaceTexts();
    }
    if (compare_) {
        const Probe probe = MakeProbe(key);
        const std::size_t at = LowerBound(probe);
        if (Holds(at, probe)) return *items_[at];
        return Insert(at, probe).record;
    }
    if (plainKeys_ && KeyCollator::IsPlain(key)) {
        // Plain keys are the same cow exactly when their place keys are equal.
        KeyCollator::PlainSortKey(key, probeKey_);
        const Probe probe{key, probeKey_};
        // A herd file sorted by cow gives each row the calving its previous row added.
        if (latest_ != nullptr && SameBytes(latest_->collationKey(), probe.collationKey)) return latest_->record;
        if (Item* known = byCollationKey_.Find(probe.collationKey, [](const Item*) { return true; })) {
            latest_ = known;
            return known->record;
        }
        const bool afterLast = items_.empty() || Compare(*ItemOfRecord(items_.back()), probe) < 0;
        Item& item = Insert(items_.size(), probe);
        if (!afterLast) ordered_ = false;
        latest_ = &item;
        return item.record;
    }
    if (plainKeys_) UseCollationKeys();
    if (Item* known = byText_.Find(key, [](const Item*) { return true; })) {
        return known->record;
    }
    const Probe probe = MakeProbe(key);
    if (Item* equal = FindEqual(probe)) {
        Remember(key, equal);  // the same cow written another way
        return equal->record;
    }
    const bool afterLast = items_.empty() || Compare(*ItemOfRecord(items_.back()), probe) < 0;
    Item& item = Insert(items_.size(), probe);
    if (!afterLast) ordered_ = false;
    return item.record;
}

void HerdList::Reserve(std::size_t count, std::size_t total) {
    expectedItems_ = count;
    count += count / 8;
    items_.reserve(std::max(count, total + total / 8));
    if (compare_) return;
    if (placeCodes_) return;  // the code index is sized when a key first comes out of order
    if (!plainKeys_) byText_.Reserve(count);
    byCollationKey_.Reserve(count);
}

std::uint32_t HerdList::TechnicianNumber(std::string_view text) {
    text = text.substr(0, kTechMaxLength);
    if (text.empty()) return 0;
    if (technicians_[latestTechnician_] == text) return latestTechnician_;
    std::uint32_t number = 0;
    if (technicians_.size() <= 16) {  // the usual herd: a look at each beats hashing
        for (std::uint32_t n = 1; n < technicians_.size(); ++n) {
            if (technicians_[n] == text) {
                number = n;
                break;
            }
        }
    } else if (const auto found = technicianNumbers_.find(std::string(text)); found != technicianNumbers_.end()) {
        number = found->second;
    }
    if (number == 0) {
        if (technicians_.size() > kMaxTechnicians) throw RangeError();
        number = static_cast<std::uint32_t>(technicians_.size());
        technicians_.emplace_back(text);
        technicianNumbers_.emplace(std::string(text), number);
    }
    latestTechnician_ = number;
    return number;
}

std::string_view HerdList::Technician(std::uint32_t number) const {
    if (number >= technicians_.size()) throw RangeError();
    return technicians_[number].view();
}

void HerdList::CopyTechnicians(const HerdList& from) {
    technicians_ = from.technicians_;
    technicianNumbers_ = from.technicianNumbers_;
    latestTechnician_ = 0;
}

bool HerdList::TakeOver(HerdList& rest) {
    if (compare_ || rest.compare_ || !placeCodes_ || !rest.placeCodes_) return false;
    // Both in order (rest's reader orders it on its own core), they are walked side by side:
    // a key in both means rest's rows would have changed this list's records, not made their own.
    EnsureOrdered();
    rest.EnsureOrdered();
    const auto code = [](const CowRecord* record) -> const PlaceCode& { return ItemOfRecord(record)->code(); };
    for (std::size_t i = 0, j = 0; i < items_.size() && j < rest.items_.size();) {
        const auto order = code(items_[i]) <=> code(rest.items_[j]);
        if (order == 0) return false;
        if (order < 0) {
            ++i;
        } else {
            ++j;
        }
    }
    // rest's technicians after this list's, in the order rest met them.
    std::size_t added = 0;
    for (std::size_t n = 1; n < rest.technicians_.size(); ++n) {
        if (!technicianNumbers_.contains(std::string(rest.technicians_[n].view()))) ++added;
    }
    if (technicians_.size() - 1 + added > kMaxTechnicians) return false;

    // The indexes by code give way to halving: the whole list need not be in memory beside them.
    rest.byCode_.Release();
    const std::size_t own = items_.size();
    items_.reserve(own + rest.items_.size());
    technicianNumbers_.reserve(technicians_.size() + added);
    std::vector<std::uint32_t> numbers(rest.technicians_.size(), 0);
    byCode_.Release();
    codesIndexed_ = false;
    bool renumbered = false;
    for (std::uint32_t n = 1; n < rest.technicians_.size(); ++n) {
        numbers[n] = TechnicianNumber(rest.technicians_[n].view());
        renumbered |= numbers[n] != n;
    }
    if (renumbered) {
        for (CowRecord* record : rest.items_) {
            for (ServiceRecord& service : ServicesInUse(*record)) service.Tech = numbers[service.Tech];
        }
    }
    // The two orders merged from their ends.
    items_.resize(own + rest.items_.size());
    for (std::size_t k = items_.size(), i = own, j = rest.items_.size(); j > 0;) {
        if (i > 0 && code(rest.items_[j - 1]) < code(items_[i - 1])) {
            items_[--k] = items_[--i];
        } else {
            items_[--k] = rest.items_[--j];
        }
    }

    // The items stay where they are: their blocks take the numbers after this list's.
    if (!itemBlocks_.empty()) itemBlocks_.back().size = itemsMade_ - itemBlocks_.back().first;
    itemBlocks_.reserve(itemBlocks_.size() + rest.itemBlocks_.size());
    firstBlocks_.reserve(firstBlocks_.size() + rest.firstBlocks_.size());
    largeBlocks_.reserve(largeBlocks_.size() + rest.largeBlocks_.size());
    for (ItemBlock block : rest.itemBlocks_) {
        block.first += itemsMade_;
        itemBlocks_.push_back(block);
    }
    for (auto& block : rest.firstBlocks_) firstBlocks_.push_back(std::move(block));
    for (ItemRoom* block : rest.largeBlocks_) largeBlocks_.push_back(block);
    itemsMade_ += rest.itemsMade_;
    rest.largeBlocks_.clear();
    rest.firstBlocks_.clear();
    rest.itemBlocks_.clear();
    rest.itemsMade_ = 0;
    texts_.TakeBlocks(rest.texts_);
    slots_.TakeBlocks(rest.slots_);
    if (rest.latest_ != nullptr) latest_ = rest.latest_;
    rest.items_.clear();
    rest.FreeRecords();
    return true;
}

void HerdList::FreeRecords() {
    byText_.Clear();
    byCollationKey_.Clear();
    byCode_.Clear();
    codesIndexed_ = false;
    items_.clear();
    GiveBackBlocks();
    texts_.Clear();
    slots_.Clear();
    latest_ = nullptr;
    technicians_.resize(1);
    technicianNumbers_.clear();
    latestTechnician_ = 0;
    ordered_ = true;
    plainKeys_ = !compare_ && Collator().PlainOrder();
    placeCodes_ = plainKeys_;
}

}  // namespace ovista

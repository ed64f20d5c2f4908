#include "herd/herd_list.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ustring.h>

#include <algorithm>

#include "herd/errors.h"

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

    int FoldedCompare() const {
        UErrorCode status = U_ZERO_ERROR;
        int folded = u_strCaseCompare(a16_.data(), static_cast<int32_t>(a16_.size()), b16_.data(),
                                      static_cast<int32_t>(b16_.size()),
                                      U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
        return folded < 0 ? -1 : (folded > 0 ? 1 : 0);
    }

    std::unique_ptr<icu::Collator> collator_;
    std::u16string a16_;  // reused buffers: keys are compared many times per herd
    std::u16string b16_;
};

KeyCollator& Collator() {
    thread_local KeyCollator collator;  // the user's locale is fixed for the run
    return collator;
}

}  // namespace

int CompareKeysCaseBlind(std::string_view a, std::string_view b) {
    return Collator().Compare(a, b);
}

HerdList::HerdList() = default;

HerdList::HerdList(KeyComparator compare) : compare_(std::move(compare)) {}

HerdList::Probe HerdList::MakeProbe(std::string_view key) const {
    Probe probe{key, {}};
    if (!compare_) Collator().SortKey(key, probe.collationKey);
    return probe;
}

int HerdList::Compare(const Item& item, const Probe& probe) const {
    if (compare_) return compare_(item.key, probe.key);
    const int byCollation = item.collationKey.compare(probe.collationKey);
    if (byCollation != 0) return byCollation < 0 ? -1 : 1;
    return Collator().CompareFolded(item.key, probe.key);
}

void HerdList::EnsureOrdered() const {
    if (ordered_) return;
    // Keys in the list are all different, so the order is total and any sort gives the one
    // that insertions in sorted place would have given.
    std::sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
        const int byCollation = a->collationKey.compare(b->collationKey);
        if (byCollation != 0) return byCollation < 0;
        return Collator().CompareFolded(a->key, b->key) < 0;
    });
    ordered_ = true;
}

HerdList::Item& HerdList::At(int index) const {
    if (index < 1 || index > Count()) {
        throw RangeError("List index out of bounds (" + std::to_string(index) + ")");
    }
    EnsureOrdered();
    return *items_[static_cast<std::size_t>(index - 1)];
}

void HerdList::GetRecord(int index, CowRecord& destination) const {
    destination = At(index).record;
}

void HerdList::PutRecord(int index, const CowRecord& source) {
    At(index).record = source;
}

CowRecord& HerdList::RecordAt(int index) { return At(index).record; }

const CowRecord& HerdList::RecordAt(int index) const { return At(index).record; }

const std::string& HerdList::KeyAt(int index) const { return At(index).key; }

std::size_t HerdList::LowerBound(const Probe& probe) const {
    EnsureOrdered();
    std::size_t low = 0;
    std::size_t high = items_.size();
    while (low < high) {
        std::size_t mid = low + (high - low) / 2;
        if (Compare(*items_[mid], probe) < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

HerdList::Item* HerdList::FindEqual(const Probe& probe) const {
    auto [first, last] = byCollationKey_.equal_range(probe.collationKey);
    for (auto it = first; it != last; ++it) {
        if (Collator().CompareFolded(it->second->key, probe.key) == 0) return it->second;
    }
    return nullptr;
}

void HerdList::Remember(std::string_view key, Item* item) {
    if (compare_) return;
    if (key != item->key) key = aliases_.emplace_back(key);
    byText_.emplace(key, item);
}

HerdList::Item& HerdList::Insert(std::size_t at, Probe probe) {
    auto owned = std::make_unique<Item>();
    Item& item = *owned;
    item.key = std::string(probe.key);
    item.collationKey = std::move(probe.collationKey);
    item.record.Key = std::string(probe.key.substr(0, kKeyMaxLength));
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(owned));
    if (!compare_) {
        byCollationKey_.emplace(item.collationKey, &item);
        Remember(item.key, &item);
    }
    return item;
}

bool HerdList::LocateRecord(std::string_view key, CowRecord& destination, int& index) const {
    const Probe probe = MakeProbe(key);
    std::size_t at = LowerBound(probe);
    if (at < items_.size() && Compare(*items_[at], probe) == 0) {
        destination = items_[at]->record;
        index = static_cast<int>(at) + 1;
        return true;
    }
    index = -1;
    return false;
}

bool HerdList::FindOrAddRecord(std::string_view key, CowRecord& destination, int& index) {
    Probe probe = MakeProbe(key);
    std::size_t at = LowerBound(probe);
    if (at < items_.size() && Compare(*items_[at], probe) == 0) {
        destination = items_[at]->record;
        index = static_cast<int>(at) + 1;
        return true;
    }
    destination = Insert(at, std::move(probe)).record;
    index = static_cast<int>(at) + 1;
    return true;
}

CowRecord& HerdList::FindOrAdd(std::string_view key) {
    if (compare_) {
        CowRecord ignored;
        int index = 0;
        FindOrAddRecord(key, ignored, index);
        return At(index).record;
    }
    if (auto known = byText_.find(key); known != byText_.end()) {
        return known->second->record;
    }
    Probe probe = MakeProbe(key);
    if (Item* equal = FindEqual(probe)) {
        Remember(key, equal);  // the same cow written another way
        return equal->record;
    }
    const bool afterLast = items_.empty() || Compare(*items_.back(), probe) < 0;
    Item& item = Insert(items_.size(), std::move(probe));
    if (!afterLast) ordered_ = false;
    return item.record;
}

void HerdList::FreeRecords() {
    byText_.clear();
    byCollationKey_.clear();
    aliases_.clear();
    while (!items_.empty()) {
        items_.pop_back();
    }
    ordered_ = true;
}

}  // namespace ovista

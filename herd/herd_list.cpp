#include "herd/herd_list.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ustring.h>

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
        status = U_ZERO_ERROR;
        int folded = u_strCaseCompare(a16_.data(), static_cast<int32_t>(a16_.size()), b16_.data(),
                                      static_cast<int32_t>(b16_.size()),
                                      U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
        return folded < 0 ? -1 : (folded > 0 ? 1 : 0);
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

    std::unique_ptr<icu::Collator> collator_;
    std::u16string a16_;  // reused buffers: keys are compared many times per herd
    std::u16string b16_;
};

}  // namespace

int CompareKeysCaseBlind(std::string_view a, std::string_view b) {
    thread_local KeyCollator collator;  // the user's locale is fixed for the run
    return collator.Compare(a, b);
}

HerdList::HerdList() : HerdList(CompareKeysCaseBlind) {}

HerdList::HerdList(KeyComparator compare) : compare_(std::move(compare)) {}

HerdList::Item& HerdList::At(int index) const {
    if (index < 1 || index > Count()) {
        throw RangeError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return *items_[static_cast<std::size_t>(index - 1)];
}

void HerdList::GetRecord(int index, CowRecord& destination) const {
    destination = At(index).record;
}

void HerdList::PutRecord(int index, const CowRecord& source) {
    At(index).record = source;
}

const std::string& HerdList::KeyAt(int index) const { return At(index).key; }

const CowRecord& HerdList::RecordAt(int index) const { return At(index).record; }

std::size_t HerdList::LowerBound(std::string_view key) const {
    std::size_t low = 0;
    std::size_t high = items_.size();
    while (low < high) {
        std::size_t mid = low + (high - low) / 2;
        if (compare_(items_[mid]->key, key) < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

bool HerdList::LocateRecord(std::string_view key, CowRecord& destination, int& index) const {
    std::size_t at = LowerBound(key);
    if (at < items_.size() && compare_(items_[at]->key, key) == 0) {
        destination = items_[at]->record;
        index = static_cast<int>(at) + 1;
        return true;
    }
    index = -1;
    return false;
}

bool HerdList::FindOrAddRecord(std::string_view key, CowRecord& destination, int& index) {
    std::size_t at = LowerBound(key);
    if (at < items_.size() && compare_(items_[at]->key, key) == 0) {
        destination = items_[at]->record;
        index = static_cast<int>(at) + 1;
        return true;
    }
    auto item = std::make_unique<Item>();
    item->key = std::string(key);
    item->record.Key = std::string(key.substr(0, kKeyMaxLength));
    destination = item->record;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    index = static_cast<int>(at) + 1;
    return true;
}

void HerdList::FreeRecords() {
    while (!items_.empty()) {
        items_.pop_back();
    }
}

}  // namespace ovista

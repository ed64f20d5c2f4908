#include "herd/csv_line.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "herd/stop_request.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovista {

bool SkipByteOrderMark(std::istream& in) {
    std::streambuf* buffer = in.rdbuf();
    if (!in.good() || buffer == nullptr) return true;
    using Traits = std::streambuf::traits_type;
    auto next = [&](unsigned char byte) {
        return Traits::eq_int_type(buffer->sgetc(), Traits::to_int_type(static_cast<char>(byte)));
    };
    if (next(0xEF)) {
        // Only the whole mark is skipped; the bytes of anything else are given back.
        buffer->sbumpc();
        if (next(0xBB)) {
            buffer->sbumpc();
            if (next(0xBF)) {
                buffer->sbumpc();
                return true;
            }
            buffer->sungetc();
        }
        buffer->sungetc();
        return true;
    }
    if (next(0xFF) || next(0xFE)) {
        const unsigned char partner = next(0xFF) ? 0xFE : 0xFF;
        buffer->sbumpc();
        const bool utf16 = next(partner);
        buffer->sungetc();
        return !utf16;
    }
    return true;
}

bool ReadTextLine(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    using Traits = std::streambuf::traits_type;
    if (!in.good() || buffer == nullptr || Traits::eq_int_type(buffer->sgetc(), Traits::eof())) {
        in.setstate(std::ios::eofbit);
        return false;
    }
    for (;;) {
        Traits::int_type c = buffer->sbumpc();
        if (Traits::eq_int_type(c, Traits::to_int_type('\r'))) {
            c = buffer->sbumpc();  // the byte after a CR takes its place, once
        }
        if (Traits::eq_int_type(c, Traits::eof())) {
            in.setstate(std::ios::eofbit);
            return true;
        }
        char byte = Traits::to_char_type(c);
        if (byte == '\n') {
            return true;
        }
        line.push_back(byte);
    }
}

void SplitCsvLine(std::string_view line, CsvFields& fields) {
    CsvSplitter splitter;
    const CsvFieldViews& views = splitter.Split(line);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i].assign(views[i]);
}

namespace {

// Field text cut to the field size, then trimmed of spaces.
inline std::string_view FieldText(std::string_view text) {
    text = text.substr(0, kCsvFieldMax);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Bits set in a 16-bit mask, a byte at a time from a table (the processor's own count
// needs an instruction set beyond the one we build for).
constexpr std::array<std::uint8_t, 256> BitCounts() {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned byte = 1; byte < 256; ++byte) counts[byte] = static_cast<std::uint8_t>(counts[byte >> 1] + (byte & 1));
    return counts;
}
constexpr std::array<std::uint8_t, 256> kBitCounts = BitCounts();
inline std::size_t Count16(unsigned bits) { return kBitCounts[bits & 0xFFu] + kBitCounts[bits >> 8 & 0xFFu]; }

// The fields of a line without quotes or NULs, nearly every line of a herd file (100 fields
// in 150 characters, most of them empty): the text between commas, viewed where it stands.
// Only the fields that hold something are cut out; the empty ones are passed over in whole
// blocks of 16 characters. False, with fields partly written, for a line that holds a quote
// or a NUL.
template <class SetField>
bool SplitPlainLine(std::string_view line, SetField&& set) {
    constexpr std::size_t kSlots = kCsvFields;
    const char* const text = line.data();
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t field = 0;        // the field the scan is in
    std::size_t open = kNone;     // where that field's text began, when it has any
    bool afterComma = true;       // the line's start counts as a field's start
    // Ends the field at the comma at end; false once the last slot is filled.
    auto comma = [&](std::size_t end) {
        if (open != kNone) {
            set(field, FieldText({text + open, end - open}));
            open = kNone;
        }
        return ++field < kSlots;
    };
    std::size_t at = 0;
#if defined(__SSE2__)
    // The characters from from marked in valid, with a bit set in ends for each comma; true
    // once the last slot is filled.
    auto block = [&](std::size_t from, unsigned ends, unsigned valid) __attribute__((always_inline)) {
        // Characters right after a comma (or the line's start) that are not commas: texts begin.
        const unsigned begins = ~ends & valid & (ends << 1 | (afterComma ? 1u : 0u));
        afterComma = (ends >> 15 & 1u) != 0;
        // Commas of empty fields are counted, not visited; only the commas that end a text
        // are.
        unsigned uncounted = ends;
        unsigned texts = begins;
        for (;;) {
            if (open != kNone) {
                if (uncounted == 0) return false;  // the text goes on in the next block
                const auto bit = static_cast<unsigned>(__builtin_ctz(uncounted));
                uncounted &= uncounted - 1;
                if (!comma(from + bit)) return true;  // fields after the last slot are ignored
                continue;
            }
            if (texts == 0) {
                field += Count16(uncounted);
                return field >= kSlots;
            }
            const auto bit = static_cast<unsigned>(__builtin_ctz(texts));
            texts &= texts - 1;
            const unsigned before = uncounted & ((1u << bit) - 1);
            field += Count16(before);
            if (field >= kSlots) return true;
            uncounted &= ~before;
            open = from + bit;
        }
    };
    const __m128i commas = _mm_set1_epi8(',');
    const __m128i quotes = _mm_set1_epi8('"');
    const __m128i nuls = _mm_setzero_si128();
    for (; at + 16 <= line.size(); at += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(chunk, quotes), _mm_cmpeq_epi8(chunk, nuls));
        if (_mm_movemask_epi8(special) != 0) return false;
        if (block(at, static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, commas))), 0xFFFFu)) return true;
    }
    if (at < line.size() && line.size() >= 16) {
        // The last characters: the line's last 16, of which those already seen are shifted out.
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + line.size() - 16));
        const auto seen = static_cast<unsigned>(16 - (line.size() - at));
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(chunk, quotes), _mm_cmpeq_epi8(chunk, nuls));
        if ((static_cast<unsigned>(_mm_movemask_epi8(special)) >> seen) != 0) return false;
        const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, commas))) >> seen;
        if (block(at, ends, 0xFFFFu >> seen)) return true;
        at = line.size();
    }
#endif
    for (; at < line.size(); ++at) {
        const char c = text[at];
        if (c == '"' || c == '\0') return false;
        if (c == ',') {
            if (!comma(at)) return true;
            afterComma = true;
        } else {
            if (afterComma) open = at;
            afterComma = false;
        }
    }
    if (open != kNone) set(field, FieldText({text + open, line.size() - open}));
    return true;
}

// Any line: quotes toggle quoting and are dropped, the scan stops at a NUL. The fields'
// text is written to storage.
template <class SetField>
void SplitQuotedLine(std::string_view line, std::string& storage, SetField&& set) {
    // Unquoted field text never outgrows the line, so the views stay put while it is written.
    if (storage.size() < line.size()) storage.resize(line.size());
    char* const text = storage.data();
    std::size_t current = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool quoted = false;
    for (char c : line) {
        if (c == '\0') {
            break;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            set(current, FieldText(std::string_view(text + begin, end - begin)));
            if (++current == kCsvFields) {
                return;  // fields after the last slot are ignored
            }
            begin = end;
        } else if (end - begin < kCsvFieldMax) {
            text[end++] = c;
        }
    }
    set(current, FieldText(std::string_view(text + begin, end - begin)));
}

}  // namespace

void CsvSplitter::ClearWritten() {
    for (std::size_t i = 0; i < setCount_; ++i) fields_[set_[i]] = {};
    setCount_ = 0;
}

const CsvFieldViews& CsvSplitter::Split(std::string_view line) {
    // Only the slots the line before set are cleared: a herd row fills about 8 of its 100.
    ClearWritten();
    const auto set = [this](std::size_t slot, std::string_view text) {
        fields_[slot] = text;
        set_[setCount_++] = static_cast<std::uint8_t>(slot);
    };
    if (SplitPlainLine(line, set)) return fields_;
    // A quote or a NUL: the slots the plain split set so far are cleared again.
    ClearWritten();
    SplitQuotedLine(line, storage_, set);
    return fields_;
}

SlicedLines::SlicedLines(std::streambuf& in, std::size_t slice)
    : in_(in), bytes_(std::make_unique_for_overwrite<char[]>(slice)), size_(slice) {}

bool SlicedLines::Fill() {
    if (atEnd_) return false;
    ThrowIfStopRequested();  // a line without an end may be the whole file
    if (begin_ > 0) {  // what is left of a line moves to the front
        std::memmove(bytes_.get(), bytes_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == size_) {
        auto wider = std::make_unique_for_overwrite<char[]>(2 * size_);
        std::memcpy(wider.get(), bytes_.get(), end_);
        bytes_ = std::move(wider);
        size_ *= 2;
    }
    const std::streamsize got = in_.sgetn(bytes_.get() + end_, static_cast<std::streamsize>(size_ - end_));
    if (got <= 0) {
        atEnd_ = true;
        return false;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
}

std::string_view SlicedLines::Ahead(std::size_t count) {
    while (end_ - begin_ < count && Fill()) {
    }
    return {bytes_.get() + begin_, end_ - begin_};
}

bool SlicedLines::Next(std::string_view& line) {
    for (;;) {
        const char* const start = bytes_.get() + begin_;
        const auto* feed = static_cast<const char*>(std::memchr(start + scanned_, '\n', end_ - begin_ - scanned_));
        if (feed != nullptr) {
            line = {start, static_cast<std::size_t>(feed - start)};
            begin_ += line.size() + 1;
            break;
        }
        scanned_ = end_ - begin_;
        if (!Fill()) {
            if (begin_ == end_) {
                line = {};
                return false;
            }
            line = {bytes_.get() + begin_, end_ - begin_};  // the last line has no line feed
            begin_ = end_;
            break;
        }
    }
    scanned_ = 0;
    if (std::memchr(line.data(), '\r', line.size()) == nullptr) return true;
    // A carriage return is dropped and the byte after it taken in its place, whatever it is.
    joined_.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && ++i == line.size()) break;
        joined_.push_back(line[i]);
    }
    line = joined_;
    return true;
}

}  // namespace ovista

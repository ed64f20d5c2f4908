#pragma once
// A text of at most N characters held inside its owner, for the short texts of a lactation
// record (key, sire, technician). A herd holds thousands of records that are copied and
// freed as plain bytes, with no allocation per text. Text beyond N characters is cut.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

namespace ovista {

// The same bytes. Keys and codes are a few dozen bytes at most: they are compared in a few
// word loads here, where a call to the library's comparison would cost more than the bytes.
inline bool SameBytes(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* const p = a.data();
    const char* const q = b.data();
    const auto word = [](const char* at) {
        std::uint64_t w;
        std::memcpy(&w, at, sizeof w);
        return w;
    };
    if (n >= 8 && n <= 32) {
        // The first and last eight bytes, and for more than 16 the eight after the first
        // and before the last: every byte is in one of them.
        std::uint64_t differ = (word(p) ^ word(q)) | (word(p + n - 8) ^ word(q + n - 8));
        if (n > 16) differ |= (word(p + 8) ^ word(q + 8)) | (word(p + n - 16) ^ word(q + n - 16));
        return differ == 0;
    }
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i) {
            if (p[i] != q[i]) return false;
        }
        return true;
    }
    return std::memcmp(p, q, n) == 0;
}

template <std::size_t N>
class ShortText {
    static_assert(N < 256, "the length is kept in one byte");

public:
    ShortText() = default;
    ShortText(std::string_view text) { assign(text); }  // NOLINT: used as a string
    ShortText(const char* text) { assign(text); }       // NOLINT
    ShortText(const std::string& text) { assign(text); }  // NOLINT

    ShortText& operator=(std::string_view text) { return assign(text); }
    ShortText& operator=(const char* text) { return assign(text); }
    ShortText& operator=(const std::string& text) { return assign(text); }

    ShortText& assign(std::string_view text) {
        size_ = static_cast<std::uint8_t>(std::min(text.size(), N));
        if (size_ != 0) std::memmove(chars_, text.data(), size_);
        return *this;
    }
    ShortText& assign(std::string_view text, std::size_t pos, std::size_t count) {
        return assign(text.substr(pos, count));
    }
    void clear() { size_ = 0; }

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const char* data() const { return chars_; }
    std::string_view view() const { return {chars_, size_}; }
    operator std::string_view() const { return view(); }  // NOLINT
    std::string str() const { return std::string(view()); }
    std::string substr(std::size_t pos, std::size_t count = std::string_view::npos) const {
        return std::string(view().substr(pos, count));
    }

    friend bool operator==(const ShortText& a, const ShortText& b) { return SameBytes(a.view(), b.view()); }
    friend bool operator==(const ShortText& a, std::string_view b) { return SameBytes(a.view(), b); }
    friend bool operator==(const ShortText& a, const char* b) { return a.view() == b; }
    friend bool operator==(const ShortText& a, const std::string& b) { return a.view() == b; }
    friend std::string operator+(std::string a, const ShortText& b) { return a.append(b.view()); }
    friend std::string operator+(const ShortText& a, std::string_view b) {
        return a.str().append(b);
    }
    friend std::string operator+(const ShortText& a, const char* b) { return a.str().append(b); }
    friend std::ostream& operator<<(std::ostream& os, const ShortText& text) {
        return os << text.view();
    }

private:
    char chars_[N]{};
    std::uint8_t size_ = 0;
};

}  // namespace ovista

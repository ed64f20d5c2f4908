#include "herd/csv_line.h"


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
    std::string storage;
    CsvFieldViews views;
    SplitCsvLine(line, storage, views);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i].assign(views[i]);
}

void SplitCsvLine(std::string_view line, std::string& storage, CsvFieldViews& fields) {
    fields.fill(std::string_view());
    // Unquoted field text never outgrows the line, so the views stay put while it is written.
    if (storage.size() < line.size()) storage.resize(line.size());
    char* const text = storage.data();
    auto store = [&](std::size_t current, std::size_t begin, std::size_t end) {
        while (begin < end && text[begin] == ' ') ++begin;
        while (end > begin && text[end - 1] == ' ') --end;
        fields[current] = std::string_view(text + begin, end - begin);
    };
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
            store(current, begin, end);
            if (++current == fields.size()) {
                return;  // fields after the last slot are ignored
            }
            begin = end;
        } else if (end - begin < kCsvFieldMax) {
            text[end++] = c;
        }
    }
    store(current, begin, end);
}

bool TextLines::Next(std::string_view& line) {
    if (next_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', next_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(next_, end - next_);
    next_ = end + 1;
    if (line.find('\r') == std::string_view::npos) return true;
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

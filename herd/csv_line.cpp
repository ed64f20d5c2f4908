#include "herd/csv_line.h"

#include "herd/textutil.h"

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
    for (std::string& field : fields) {
        field.clear();
    }
    std::size_t current = 0;
    bool quoted = false;
    for (char c : line) {
        if (c == '\0') {
            break;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            if (++current == fields.size()) {
                break;  // fields after the last slot are ignored
            }
        } else if (fields[current].size() < kCsvFieldMax) {
            fields[current].push_back(c);
        }
    }
    for (std::string& field : fields) {
        if (!field.empty()) {
            field = TrimBlanks(field);
        }
    }
}

}  // namespace ovista

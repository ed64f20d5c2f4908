#pragma once
// Texts of a herd (owner, address, herd number, technician ids) are bytes as the herd file
// held them. The summary files pass them on unchanged; the report decodes them for drawing.
#include <string>
#include <string_view>

namespace ovista {

// UTF-8 text of record bytes: the bytes themselves when they are valid UTF-8 (a file saved
// as UTF-8 by today's editors), else each byte decoded as Windows-1252 (the bytes of older
// farm software). The five bytes that Windows-1252 leaves undefined become U+FFFD.
std::string RecordTextToUtf8(std::string_view bytes);

}  // namespace ovista

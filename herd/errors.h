#pragma once
// Error types of the program. Everything we throw derives from OvistaError, so a batch
// can catch one herd's failure, log it and go on with the next herd.
#include <stdexcept>
#include <string>

namespace ovista {

class OvistaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value does not fit the field that must hold it (a 16-bit count or day, an array index).
class RangeError : public OvistaError {
public:
    RangeError() : OvistaError("Range check error") {}
    explicit RangeError(const std::string& what) : OvistaError(what) {}
};

// A text that should be a date is not one: "'<text>' is not a valid date".
class DateError : public OvistaError {
public:
    explicit DateError(const std::string& text);
};

// A text in an integer column is not an integer: "'<text>' is not a valid integer value".
class IntegerError : public OvistaError {
public:
    explicit IntegerError(const std::string& text);
};

}  // namespace ovista

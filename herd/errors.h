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

// Printing was asked for on a machine with no printer at all: the same for every report of a
// run, unlike a report that fails on its own.
class NoPrinterError : public OvistaError {
public:
    using OvistaError::OvistaError;
};

// A report's file could not be written: what() is "Could not write <path>: <reason>".
class ReportFileError : public OvistaError {
public:
    ReportFileError(const std::string& path, const std::string& reason)
        : OvistaError("Could not write " + path + ": " + reason), path_(path), reason_(reason) {}
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

}  // namespace ovista

#include "herd/errors.h"

namespace ovista {

DateError::DateError(const std::string& text) : OvistaError("'" + text + "' is not a valid date") {}

IntegerError::IntegerError(const std::string& text)
    : OvistaError("'" + text + "' is not a valid integer value") {}

}  // namespace ovista

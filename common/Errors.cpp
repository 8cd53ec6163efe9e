#include "common/Errors.h"

namespace tintavo {

EAssertionFailed::EAssertionFailed(const std::string& message, const char* unit, int line)
    : std::logic_error(message + " (" + unit + ", line " + std::to_string(line) + ")"), bare_(message) {}

void ThrowAssertion(const char* message, const char* unit, int line) {
    throw EAssertionFailed(message, unit, line);
}

}  // namespace tintavo

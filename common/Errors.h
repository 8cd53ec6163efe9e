// Exceptions shared by the whole core library.
//
// The calibration and file layers catch nothing: an error travels up to whoever started the
// command (the window's event handler or the command-line tool), which shows its message.
#pragma once

#include <stdexcept>
#include <string>

namespace tintavo {

// A violated precondition of a low-level numerical routine. Only a programming error can
// reach one; the message names the unit and the source line, e.g.
// "Dimension error (Matrix, line 212)".
class EAssertionFailed : public std::logic_error {
public:
    EAssertionFailed(const std::string& message, const char* unit, int line);
    const std::string& BareMessage() const { return bare_; }

private:
    std::string bare_;
};

// A file that cannot be opened, read, created or written. The message names the file and the
// operating system's reason: "Cannot create file "/x/y.cube": Permission denied".
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not a number where a number is required: "'abc' is not a valid integer value",
// "'1,5' is not a valid floating point value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowAssertion(const char* message, const char* unit, int line);

}  // namespace tintavo

// Checks a precondition of a low-level routine; on failure raises EAssertionFailed naming
// the unit (a short name such as "Matrix") and the line of the check.
#define TINTAVO_ASSERT(cond, unit, message)                          \
    do {                                                             \
        if (!(cond)) ::tintavo::ThrowAssertion((message), (unit), __LINE__); \
    } while (0)

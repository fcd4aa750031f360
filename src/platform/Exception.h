#pragma once

#include <stdexcept>
#include <string>

// The root of every failure the system raises: a message text and nothing else.
// Derived classes add what they carry (an error number, a code).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// An operating-system failure with its code.
class EOSError : public Exception {
public:
    EOSError(const std::string& message, int code) : Exception(message), code_(code) {}
    int ErrorCode() const { return code_; }

private:
    int code_;
};

// A value outside the range its type allows.
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
};

// A text that does not convert to the value asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The silent abort: it ends an operation without telling the user anything.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// An index outside a list's items.
class EListError : public Exception {
public:
    explicit EListError(int index)
        : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

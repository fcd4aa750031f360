#pragma once

#include "platform/Exception.h"

#include <string>

// Every failure of the transport derives from EIdException.
class EIdException : public Exception {
public:
    using Exception::Exception;
};

// A failed socket call, with its Windows Sockets error number.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(const std::string& message, int lastError)
        : EIdException(message), lastError_(lastError) {}
    int LastError() const { return lastError_; }

private:
    int lastError_;
};

class EIdNotASocket : public EIdSocketError {
public:
    using EIdSocketError::EIdSocketError;
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdIPVersionUnsupported : public EIdStackError {
public:
    EIdIPVersionUnsupported()
        : EIdStackError("The requested IPVersion / Address family is not supported.") {}
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
    EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdStackInitializationFailed : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};

// A failure to load or call the sockets library: the error number, its system
// text and a title; the message is the title, or "title: text" for a number.
class EIdWinsockStubError : public EIdException {
public:
    EIdWinsockStubError(int error, const std::string& title, const std::string& errorText)
        : EIdException(error == 0 ? title : title + ": " + errorText), error_(error),
          errorText_(errorText), title_(title) {}
    int WinsockError() const { return error_; }
    const std::string& ErrorText() const { return errorText_; }
    const std::string& Title() const { return title_; }

private:
    int error_;
    std::string errorText_;
    std::string title_;
};

class EIdInvalidIPv6Address : public EIdException {
public:
    explicit EIdInvalidIPv6Address(const std::string& text)
        : EIdException(text + " is not a valid IPv6 address") {}
};

class EIdIPv6Unavailable : public EIdException {
public:
    EIdIPv6Unavailable() : EIdException("IPv6 unavailable") {}
};

class EIdInvalidServiceName : public EIdException {
public:
    using EIdException::EIdException;
};

// Failures of one binding (socket handle) and of sending through it.
class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
    EIdCouldNotBindSocket()
        : EIdSocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

class EIdCanNotBindPortInRange : public EIdSocketHandleError {
public:
    EIdCanNotBindPortInRange(int min, int max)
        : EIdSocketHandleError("Can not bind in port range (" + std::to_string(min) + " - " +
                               std::to_string(max) + ")") {}
};

class EIdInvalidPortRange : public EIdSocketHandleError {
public:
    EIdInvalidPortRange(int min, int max)
        : EIdSocketHandleError("Invalid Port Range (" + std::to_string(min) + " - " +
                               std::to_string(max) + ")") {}
};

class EIdCannotSetIPVersionWhenConnected : public EIdSocketHandleError {
public:
    EIdCannotSetIPVersionWhenConnected()
        : EIdSocketHandleError("Cannot change IPVersion when connected") {}
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
public:
    EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
public:
    EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

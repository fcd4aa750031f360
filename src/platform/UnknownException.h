#pragma once

#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <string>
#include <typeinfo>

// Stands for a thrown object that is no std::exception (an int, a string)
// where the system catches failures: the application's top-level handler and
// a receiving thread hand it on like any failure, and crash reporting writes
// it as an object of unknown exception type. Made inside the catch block, it
// names the type of the object being handled and keeps that object's address,
// by which the throw site was recorded.
class EUnknownException : public std::exception {
public:
    EUnknownException() : thrown_(ThrownObject()) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        int status = 0;
        char* name = type ? abi::__cxa_demangle(type->name(), nullptr, nullptr, &status) : nullptr;
        message_ = "An object of type " +
                   std::string(name   ? name
                               : type ? type->name()
                                      : "unknown") +
                   " was raised";
        std::free(name);
    }
    const char* what() const noexcept override { return message_.c_str(); }
    // The object being handled when this was made; an address to look up
    // by, never read through.
    const void* Thrown() const noexcept { return thrown_; }

private:
    // The exception pointer of the C++ runtime holds the thrown object's
    // address and nothing else.
    static const void* ThrownObject() {
        const std::exception_ptr current = std::current_exception();
        static_assert(sizeof current == sizeof(void*));
        const void* object = nullptr;
        std::memcpy(&object, static_cast<const void*>(&current), sizeof object);
        return object;
    }

    const void* thrown_;
    std::string message_;
};

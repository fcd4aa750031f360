#pragma once

#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <string>
#include <typeinfo>

// Stands for a thrown object that is no std::exception (an int, a string)
// where the system catches failures: the application's top-level handler and
// a receiving thread hand it on like any failure, and crash reporting writes
// it as an object of unknown exception type. Made inside the catch block, it
// names the type of the object being handled.
class EUnknownException : public std::exception {
public:
    EUnknownException() {
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

private:
    std::string message_;
};

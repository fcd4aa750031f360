#include "net/IdGlobal.h"

#include "net/IdException.h"
#include "platform/CodePage.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

std::string BytesToText(const TIdBytes& bytes, std::uint8_t selector) {
    if (selector == 0)
        throw EIdException("No encoding specified.");
    std::string raw(bytes.begin(), bytes.end());
    if (selector == 2)
        return Utf8ToGbk(raw);
    return raw;
}

std::string ExceptionClassName(const std::exception& failure) {
    const char* mangled = typeid(failure).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? name.get() : mangled;
}

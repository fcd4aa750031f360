#include "callstack/ThrowSite.h"

#include <atomic>
#include <dlfcn.h>

namespace {

using TRealThrow = void (*)(void*, void*, void (*)(void*));

std::atomic<bool> captureOn{true};

// The last throws of this thread, newest at `newest`. Plain arrays in static
// thread-local storage: the throw path allocates nothing.
constexpr std::size_t Kept = 4;
thread_local std::array<TThrowSite, Kept> sites;
thread_local std::size_t newest = Kept - 1;
thread_local bool anyThrow = false;

// The thrower's stack may hold poisoned areas of other frames' locals; this
// copy reads them as raw bytes, past the sanitizers.
__attribute__((no_sanitize("address", "thread"))) void CopyStack(std::array<std::uint8_t, 128>& to,
                                                                 std::uintptr_t from) {
    const volatile std::uint8_t* source = reinterpret_cast<const volatile std::uint8_t*>(from);
    for (std::size_t i = 0; i < to.size(); ++i)
        to[i] = source[i];
}

[[gnu::noinline]] void Record(void* object, void* type, void (*destructor)(void*),
                              std::uintptr_t address, std::uintptr_t stackPointer) {
    newest = (newest + 1) % Kept;
    anyThrow = true;
    TThrowSite& site = sites[newest];
    site.Object = object;
    site.Type = static_cast<const std::type_info*>(type);
    site.Address = address;
    site.Context = TCpuContext{};
    site.Context.Valid = true;
    using enum TCpuRegister;
    site.Context.Unknown = TCpuContext::Bit(RAX) | TCpuContext::Bit(RCX) | TCpuContext::Bit(R8) |
                           TCpuContext::Bit(R9) | TCpuContext::Bit(R10) | TCpuContext::Bit(R11);
    site.Context.RIP = address;
    site.Context.RSP = stackPointer;
    site.Context.RDI = reinterpret_cast<std::uintptr_t>(object);
    site.Context.RSI = reinterpret_cast<std::uintptr_t>(type);
    site.Context.RDX = reinterpret_cast<std::uintptr_t>(destructor);
    CopyStack(site.Stack, stackPointer);
    WalkStack(site.Trace, address, &site.Context);
}

} // namespace

// Every throw expression of the process calls this: the program's own
// definition comes first in symbol lookup, so the standard library's throws
// land here too. It records the throw site and hands over to the real one.
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
    static const auto real = reinterpret_cast<TRealThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (captureOn.load(std::memory_order_relaxed))
        Record(object, type, destructor,
               reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)),
               reinterpret_cast<std::uintptr_t>(__builtin_dwarf_cfa()));
    real(object, type, destructor);
    __builtin_unreachable();
}

const TThrowSite* FindThrowSite(const void* exceptionObject) {
    for (std::size_t back = 0; anyThrow && back < Kept; ++back) {
        const TThrowSite& site = sites[(newest + Kept - back) % Kept];
        if (site.Object == exceptionObject && site.Object != nullptr)
            return &site;
    }
    return nullptr;
}

void AdoptThrowSite(const TThrowSite& site) {
    newest = (newest + 1) % Kept;
    anyThrow = true;
    sites[newest] = site;
}

const TThrowSite* LastThrowSite() {
    return anyThrow ? &sites[newest] : nullptr;
}

void SetThrowCapture(bool on) {
    captureOn.store(on, std::memory_order_relaxed);
}

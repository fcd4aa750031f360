#include "report/text/ExceptionId.h"

#include <cstdio>

std::uint16_t Crc16Xmodem(std::string_view bytes) {
    std::uint16_t crc = 0;
    for (char c : bytes) {
        crc ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x8000 ? static_cast<std::uint16_t>(crc << 1 ^ 0x1021)
                               : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

namespace {

std::string ModuleText(const TModuleInfo& module) {
    return module.Description.empty() ? module.Name
                                      : module.Name + " - (" + module.Description + ")";
}

} // namespace

std::string ExceptionId(const TModuleInfo& mainModule, const TModuleInfo& exceptionModule,
                        const std::string& className,
                        const std::vector<TCallStackEntry>& callStack) {
    std::string input = ModuleText(mainModule) + ModuleText(exceptionModule) + className;
    for (const TCallStackEntry& entry : callStack)
        if (entry.Kind == TStackKind::ExceptionThread && entry.HasDebugData())
            input += entry.Unit + entry.Class + entry.Procedure + std::to_string(entry.Line);
    char id[5];
    std::snprintf(id, sizeof id, "%04X", Crc16Xmodem(input));
    return id;
}

// Prints this host's adapters as the enumeration reports them. It only reads
// the host's interface list; it sends nothing.
#include "adapters/LGetAdapterInfo.h"

#include "platform/CodePage.h"
#include "platform/Exception.h"

#include <cstdio>
#include <string>

namespace {

// The text with its carriage returns shown as "\r", converted for the terminal.
std::string Shown(const std::string& gbk) {
    std::string text;
    for (char c : gbk)
        text += c == '\r' ? std::string("\\r") : std::string(1, c);
    return GbkToUtf8(text);
}

void Print(const TAdapterInfo& adapter) {
    std::printf("%d. %s\n", adapter.id, Shown(adapter.description).c_str());
    std::printf("   IP address  %s\n", Shown(adapter.ipAddress).c_str());
    std::printf("   mask        %s\n", Shown(adapter.mask).c_str());
    std::printf("   gateway     %s\n", Shown(adapter.gateway).c_str());
    std::printf("   MAC         %s\n", Shown(adapter.mac).c_str());
    std::printf("   DHCP        %s\n", adapter.dhcpEnabled ? "enabled" : "not enabled");
    std::printf("   DHCP server %s\n", Shown(adapter.dhcpServer).c_str());
}

} // namespace

int main() {
    try {
        for (const TAdapterInfo& adapter : EnumerateAdapters())
            Print(adapter);
        return 0;
    } catch (const EOSError& error) {
        std::fprintf(stderr, "%s\n", Shown(error.Message()).c_str());
        return 1;
    }
}

#include "cli/AdapterReport.h"

#include "cli/TerminalText.h"
#include "platform/CodePage.h"

namespace {

std::string Shown(const std::string& gbk) {
    return gbk.empty() ? "none" : VisibleText(GbkToUtf8(gbk));
}

std::string DhcpText(const TAdapterInfo& adapter) {
    if (!adapter.dhcpEnabled)
        return "no";
    return adapter.dhcpServer.empty() ? "yes" : "yes, server " + Shown(adapter.dhcpServer);
}

} // namespace

std::vector<std::pair<std::string, std::string>> AdapterAddresses(const TAdapterInfo& adapter) {
    std::vector<std::pair<std::string, std::string>> addresses;
    std::size_t start = 0;
    while (start < adapter.mask.size()) {
        std::size_t end = adapter.mask.find('\r', start);
        if (end == std::string::npos)
            end = adapter.mask.size();
        const std::string entry = adapter.mask.substr(start, end - start);
        if (addresses.empty())
            addresses.emplace_back(adapter.ipAddress, entry);
        else
            addresses.emplace_back(AddressOfListText(entry), MaskOfListText(entry));
        start = end + 1;
    }
    if (addresses.empty())
        addresses.emplace_back(adapter.ipAddress, "");
    return addresses;
}

std::string AdapterReport(const std::vector<TAdapterInfo>& adapters, int only) {
    std::string out;
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        if (only != 0 && static_cast<std::size_t>(only) != i + 1)
            continue;
        const TAdapterInfo& adapter = adapters[i];
        out += std::to_string(i + 1) + ". " + VisibleText(GbkToUtf8(adapter.description)) + "\n";
        for (const auto& [address, mask] : AdapterAddresses(adapter))
            out += "   address  " + Shown(address) + " / " + Shown(mask) + "\n";
        out += "   gateway  " + Shown(adapter.gateway) + "\n";
        out += "   MAC      " + Shown(adapter.mac) + "\n";
        out += "   DHCP     " + DhcpText(adapter) + "\n";
    }
    return out;
}

#include "adapters/LGetAdapterInfo.h"

#include "platform/Exception.h"
#include "platform/SysErrorMessage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The records can grow between two calls when an adapter appears; a few
// attempts with the size asked for are enough for any real host.
constexpr int kMaxAttempts = 4;

template <std::size_t N> std::string FieldText(const std::array<char, N>& field) {
    return std::string(field.data(), strnlen(field.data(), N));
}

// The 1-based position of `needle` in `text`; 0 when it is not there.
long Pos(std::string_view needle, std::string_view text) {
    const auto at = text.find(needle);
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
}

// `count` bytes of `text` from the 1-based `index` on, as many as there are.
std::string Copy(const std::string& text, long index, long count) {
    index = std::max(index, 1L);
    if (count <= 0 || index > static_cast<long>(text.size()))
        return {};
    return text.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

[[noreturn]] void RaiseOSError(std::uint32_t code) {
    const int number = static_cast<int>(code);
    char head[64];
    std::snprintf(head, sizeof head, "System Error.  Code: %d.\r\n", number);
    throw EOSError(head + SysErrorMessage(number), number);
}

std::vector<IpAdapterInfo> ReadRecords(const AdaptersInfoCall& call) {
    std::vector<IpAdapterInfo> records;
    std::uint32_t size = kFirstAdapterBufferSize;
    std::uint32_t code = call(records, size);
    for (int attempt = 1; code == kAdaptersBufferOverflow && attempt < kMaxAttempts; ++attempt)
        code = call(records, size);
    if (code == kAdaptersOk && records.empty())
        code = kAdaptersNoData;
    if (code != kAdaptersOk)
        RaiseOSError(code);
    return records;
}

TAdapterInfo AdapterInfo(const IpAdapterInfo& record, std::int32_t id) {
    TAdapterInfo info;
    info.id = id;
    info.description = FieldText(record.description);
    const std::string addresses = AddressListText(record.ipAddressList);
    info.ipAddress = AddressOfListText(addresses);
    info.mask = MaskOfListText(addresses);
    info.gateway = AddressOfListText(AddressListText(record.gatewayList));
    info.mac = MacText(record.address, record.addressLength);
    info.dhcpEnabled = record.dhcpEnabled > 0;
    info.dhcpServer = AddressOfListText(AddressListText({record.dhcpServer}));
    return info;
}

} // namespace

std::vector<TAdapterInfo> EnumerateAdapters() {
    return EnumerateAdapters(GetAdaptersInfo);
}

std::vector<TAdapterInfo> EnumerateAdapters(const AdaptersInfoCall& call) {
    const std::vector<IpAdapterInfo> records = ReadRecords(call);
    std::vector<TAdapterInfo> adapters;
    std::int32_t id = 1;
    for (const IpAdapterInfo& record : records)
        adapters.push_back(AdapterInfo(record, id++));
    return adapters;
}

std::string AddressListText(const std::vector<IpAddrString>& list) {
    std::string text;
    for (const IpAddrString& entry : list)
        text += "A: " + FieldText(entry.ipAddress) + " M: " + FieldText(entry.ipMask) + "\r";
    return text;
}

std::string AddressOfListText(const std::string& text) {
    const long address = Pos("A: ", text);
    const long mask = Pos(" M: ", text);
    return Copy(text, address + 3, mask - address - 3);
}

std::string MaskOfListText(const std::string& text) {
    const long mask = Pos(" M: ", text);
    return Copy(text, mask + 4, static_cast<long>(text.size()));
}

std::string MacText(const std::array<std::uint8_t, kAdapterAddressSize>& address,
                    std::uint32_t count) {
    std::string text;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(count, kAdapterAddressSize); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X-", address[i]);
        text += pair;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

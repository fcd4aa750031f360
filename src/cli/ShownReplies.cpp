#include "cli/ShownReplies.h"

#include <functional>
#include <string_view>

bool TShownReplies::Contains(const std::string& ip, const std::string& info) const {
    // Equal digests are compared byte for byte: a collision never folds a
    // distinct reply.
    const auto [first, last] = byDigest_.equal_range(Digest(ip, info));
    for (auto it = first; it != last; ++it)
        if (it->second->IP == ip && it->second->Info == info)
            return true;
    return false;
}

void TShownReplies::Add(const TDEVICE_INFO1& record) {
    byDigest_.emplace(Digest(record.IP, record.Info), &record);
}

std::size_t TShownReplies::Digest(const std::string& ip, const std::string& info) {
    const std::hash<std::string_view> hash;
    return hash(ip) * 31 ^ hash(info);
}

#include "cli/ShownReplies.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace {

std::size_t Digest(int adapter, const std::string& ip, const std::string& info) {
    const std::hash<std::string_view> hash;
    return (hash(ip) * 31 ^ hash(info)) * 31 + static_cast<std::size_t>(adapter);
}

} // namespace

TShownReplies::TShownReplies(bool fold, std::size_t capacity) : fold_(fold), capacity_(capacity) {}

TShownReplies::Verdict TShownReplies::Admit(int adapter, const std::string& ip,
                                            const std::string& info) {
    auto device = shown_.find({adapter, ip});
    if (device == shown_.end() && shown_.size() < capacity_)
        device = shown_.try_emplace({adapter, ip}).first;
    if (device == shown_.end()) {
        if (!fold_)
            return Verdict::Beyond;
        const std::size_t digest = Digest(adapter, ip, info);
        if (beyond_.contains(digest))
            return Verdict::Fold;
        if (beyond_.size() < BeyondReplies)
            beyond_.insert(digest);
        return Verdict::Beyond;
    }
    if (!fold_)
        return Verdict::Show;
    std::vector<std::string>& replies = device->second;
    if (std::find(replies.begin(), replies.end(), info) != replies.end())
        return Verdict::Fold;
    if (replies.size() < RepliesPerDevice && rememberedBytes_ + info.size() <= RememberedBytes) {
        rememberedBytes_ += info.size();
        replies.push_back(info);
    }
    return Verdict::Show;
}

#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// What a search decides for each reply it hears. Like a watch, it takes
// replies from at most `capacity` devices (one address heard on one adapter);
// replies from devices beyond them are counted, not shown, so a flood cannot
// grow it without bound. With folding (--unique) a reply that repeats one
// already heard from its device (same bytes) is folded, whether its device
// was shown or not. Touched by the searching thread only.
class TShownReplies {
public:
    static constexpr std::size_t DefaultCapacity = 65'536;
    // The distinct replies remembered for folding: per device shown, their
    // bytes in all, and for the devices beyond. A reply past these is not
    // remembered, so a repeat of it is taken for a new one.
    static constexpr std::size_t RepliesPerDevice = 16;
    static constexpr std::size_t RememberedBytes = 64 << 20;
    static constexpr std::size_t BeyondReplies = 1 << 20;

    enum class Verdict { Show, Fold, Beyond };

    explicit TShownReplies(bool fold, std::size_t capacity = DefaultCapacity);

    Verdict Admit(int adapter, const std::string& ip, const std::string& info);

private:
    bool fold_;
    std::size_t capacity_;
    std::size_t rememberedBytes_ = 0;
    // The shown devices, with the replies of each kept for folding.
    std::map<std::pair<int, std::string>, std::vector<std::string>> shown_;
    // Digests of the replies of devices beyond the capacity: only the count
    // depends on them, so a rare collision costs a miscount, never a reply.
    std::unordered_set<std::size_t> beyond_;
};

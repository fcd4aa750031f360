#pragma once

#include "discovery/ReplyTable.h"

#include <cstddef>
#include <string>
#include <unordered_map>

// The replies a search has shown, for folding repeats (--unique). It indexes
// the reply table's records instead of copying them: however many distinct
// replies a flood brings, it holds at most one entry per record, and a reply
// beyond the table's limit is never remembered. Touched by the searching
// thread only.
class TShownReplies {
public:
    // True when a reply from `ip` with exactly these bytes was shown.
    bool Contains(const std::string& ip, const std::string& info) const;
    // Remembers a shown reply; `record` must outlive this object.
    void Add(const TDEVICE_INFO1& record);

private:
    static std::size_t Digest(const std::string& ip, const std::string& info);

    std::unordered_multimap<std::size_t, const TDEVICE_INFO1*> byDigest_;
};

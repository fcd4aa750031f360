#include "discovery/ReplyTable.h"

#include <algorithm>

void TReplyTable::Reset() {
    records_.fill(TDEVICE_INFO1{});
    nextIndex_ = 0;
    mostLineFeeds_ = 0;
}

const TDEVICE_INFO1* TReplyTable::Record(const std::string& ip, std::uint16_t port,
                                         const std::string& info) {
    if (nextIndex_ >= Capacity)
        return nullptr;
    TDEVICE_INFO1& record = records_[static_cast<size_t>(nextIndex_++)];
    record.IP = ip;
    record.Port = std::to_string(port);
    record.Info = info;
    mostLineFeeds_ = std::max(mostLineFeeds_, CountLineFeeds(info));
    return &record;
}

std::string RowText(const TDEVICE_INFO1& record) {
    return ";" + record.IP + ";" + ";" + ";" + record.Info + ";";
}

int CountLineFeeds(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

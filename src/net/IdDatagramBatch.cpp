#include "net/IdDatagramBatch.h"

#include "net/IdStack.h"

#include <algorithm>

void TIdDatagramBatch::Prepare(int slotSize) {
    slotSize = std::max(0, slotSize);
    datagrams_.clear();
    if (slotSize == slotSize_)
        return;
    const std::size_t stride = std::max(1, slotSize);
    const std::size_t count =
        std::clamp<std::size_t>(MemoryLimit / stride, 1, static_cast<std::size_t>(Limit));
    const int head = std::min(slotSize, HeadBytes);
    const int rest = slotSize - head;
    // Left uninitialised: the system writes only what arrives, so memory is
    // touched only as far as datagrams reach.
    heads_.reset(new std::uint8_t[count * static_cast<std::size_t>(std::max(1, head))]);
    rests_.reset(rest > 0 ? new std::uint8_t[count * static_cast<std::size_t>(rest)] : nullptr);
    slotSize_ = slotSize;
    slots_.assign(count, ws::RecvSlot{});
    for (std::size_t i = 0; i < count; ++i) {
        slots_[i].buffer = heads_.get() + i * static_cast<std::size_t>(std::max(1, head));
        slots_[i].length = head;
        slots_[i].rest = rest > 0 ? rests_.get() + i * static_cast<std::size_t>(rest) : nullptr;
        slots_[i].restLength = rest;
    }
    datagrams_.reserve(count);
}

void TIdDatagramBatch::Take(int count) {
    const std::size_t first = datagrams_.size();
    for (std::size_t i = first; i < first + static_cast<std::size_t>(count); ++i) {
        const ws::RecvSlot& slot = slots_[i];
        Datagram datagram{static_cast<const std::uint8_t*>(slot.buffer),
                          static_cast<const std::uint8_t*>(slot.rest),
                          slot.received,
                          0,
                          "",
                          0};
        // A datagram cut short is reported in its place, its sender unread.
        if (slot.truncated)
            datagram.error = ws::WSAEMSGSIZE;
        else
            TIdStack::ReadSenderAddress(slot.from, datagram.ip, datagram.port);
        datagrams_.push_back(std::move(datagram));
    }
}

void TIdDatagramBatch::AddFailure(int error) {
    if (!Full())
        datagrams_.push_back(Datagram{nullptr, nullptr, 0, error, "", 0});
}

void TIdDatagramBatch::CopyBytes(const Datagram& datagram, std::vector<std::uint8_t>& out) {
    const int head = std::min(datagram.length, HeadBytes);
    out.insert(out.end(), datagram.head, datagram.head + head);
    if (datagram.length > head)
        out.insert(out.end(), datagram.rest, datagram.rest + (datagram.length - head));
}

#pragma once

#include "platform/WinSock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The datagrams one receive cycle reads from its socket in one go, each in a
// slot of the receive size, with its sender. Only the receiving thread that
// owns the batch fills it; the UI thread reads it while that thread waits.
class TIdDatagramBatch {
public:
    // At most this many datagrams per cycle: more than a receive queue at the
    // usual system cap holds, so one cycle empties a full queue.
    static constexpr int Limit = 1024;
    // And at most this much memory for the slots, so a large receive size
    // reads fewer datagrams per cycle rather than taking more memory.
    static constexpr std::size_t MemoryLimit = 8u << 20;

    // The first bytes of each slot lie close together, so short datagrams
    // (replies are a few hundred bytes) share pages and a burst touches
    // little memory; the rest of a slot is touched only by a long datagram.
    static constexpr int HeadBytes = 1536;

    struct Datagram {
        const std::uint8_t* head; // the first min(length, HeadBytes) bytes
        const std::uint8_t* rest; // the bytes after those
        int length;
        int error; // 0, or the socket error it is reported with
        std::string ip;
        std::uint16_t port;
    };

    // Empties the batch and makes room for datagrams of up to `slotSize` bytes.
    void Prepare(int slotSize);
    void Clear() { datagrams_.clear(); }
    bool Empty() const { return datagrams_.empty(); }
    bool Full() const { return datagrams_.size() == slots_.size(); }

    // The slots not yet used, for the next read.
    ws::RecvSlot* FreeSlots() { return slots_.data() + datagrams_.size(); }
    int FreeCount() const { return static_cast<int>(slots_.size() - datagrams_.size()); }
    // Records the next `count` free slots as read.
    void Take(int count);
    // Records a failed read in its place, as the socket error `error`.
    void AddFailure(int error);
    const std::vector<Datagram>& Datagrams() const { return datagrams_; }

    // Appends the bytes of `datagram` to `out`.
    static void CopyBytes(const Datagram& datagram, std::vector<std::uint8_t>& out);

private:
    std::unique_ptr<std::uint8_t[]> heads_;
    std::unique_ptr<std::uint8_t[]> rests_;
    int slotSize_ = -1;
    std::vector<ws::RecvSlot> slots_;
    std::vector<Datagram> datagrams_;
};

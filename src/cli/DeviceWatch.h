#pragma once

#include "discovery/HardwareLookup.h"
#include "discovery/ReplyTable.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class WatchEventKind { Up, Changed, Down };

// The devices a watch has heard and the events their replies make. A device is
// one address heard on one adapter. Rounds run from one probe to the next:
// - up: the first reply of a device not being tracked (never heard, or down);
// - changed: a reply whose port or bytes differ from the device's last one;
// - down: a device heard in none of `misses` rounds in a row. It is then
//   forgotten, so its next reply is an up again and its slot is free.
// At most `capacity` devices are tracked; a reply from one more is counted and
// not tracked. Nothing grows while the set of devices is stable. One thread
// uses an object.
class TDeviceWatch {
public:
    static constexpr std::size_t DefaultCapacity = 65'536;

    struct Device {
        TDEVICE_INFO1 reply;      // the last one
        TDeviceHardware hardware; // as found when it came up or last changed
        int adapter = 0;
        bool heard = false;                              // in the current round
        int misses = 0;                                  // rounds in a row without a reply
        std::chrono::system_clock::time_point lastReply; // set by the watch that heard it
    };

    explicit TDeviceWatch(int misses, std::size_t capacity = DefaultCapacity);

    // A reply in the current round; returns the event it makes, if any.
    std::optional<WatchEventKind> Heard(int adapter, const std::string& ip, std::uint16_t port,
                                        const std::string& info);
    // The tracked device; nullptr when there is none.
    Device* Find(int adapter, const std::string& ip);
    // Closes the current round (the next probe is about to go out) and
    // returns the devices that went down with it, no longer tracked.
    std::vector<Device> EndRound();

    std::size_t Tracked() const { return devices_.size(); }
    const std::map<std::pair<int, std::string>, Device>& Devices() const { return devices_; }
    // Replies from devices beyond the capacity.
    std::size_t Untracked() const { return untracked_; }

private:
    int misses_;
    std::size_t capacity_;
    std::map<std::pair<int, std::string>, Device> devices_; // by adapter and address
    std::size_t untracked_ = 0;
};

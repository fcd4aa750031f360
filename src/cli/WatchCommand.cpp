#include "cli/WatchCommand.h"

#include "cli/DeviceWatch.h"
#include "cli/KernelDrops.h"
#include "cli/SearchCommand.h"
#include "cli/StopSignals.h"
#include "cli/WatchEvent.h"
#include "cli/WatchMetrics.h"
#include "discovery/Probe.h"
#include "discovery/Util.h"
#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kProbePort = 6001;

std::string Counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Everything here is touched by the main thread only: the receiving threads
// hand their replies (and the too-long ones) over with synchronised calls,
// which the main thread runs inside its wait. The stop flag is the one thing
// another thread sets, and it is atomic.
class Watch {
public:
    Watch(const CliOptions& options, std::FILE* out, const std::vector<SearchedAdapter>& adapters)
        : options_(options), out_(out), devices_(options.misses) {
        std::map<int, std::string> names;
        for (const SearchedAdapter& adapter : adapters)
            names[Label(adapter)] = adapter.name;
        if (!options.metricsFile.empty())
            metrics_.emplace(options.metricsFile, names);
        for (const SearchedAdapter& adapter : adapters) {
            const int label = Label(adapter);
            labels_.push_back(label);
            servers_.push_back(ListeningServer(
                adapter.ip, std::nullopt,
                [this, label](const TIdBytes& data, TIdSocketHandle& binding) {
                    Read(label, data, binding);
                },
                [this] { ++tooLong_; }));
        }
    }

    // Probes until `stop` is requested.
    WatchSummary Run(const TStopSignals& stop) {
        const TIdBytes probe = PrepareProbe();
        const auto interval = std::chrono::milliseconds(options_.intervalMs);
        auto next = std::chrono::steady_clock::now();
        // A path it cannot write fails the watch before anything is sent.
        WriteMetrics();
        while (!stop.Requested()) {
            for (std::size_t i = 0; i < servers_.size(); ++i) {
                servers_[i]->SendBroadcast(probe, kProbePort);
                if (metrics_)
                    metrics_->Probed(labels_[i]);
            }
            next += interval;
            // A slow round (a stopped terminal) does not make probes bunch up.
            next = std::max(next, std::chrono::steady_clock::now());
            while (!stop.Requested() && std::chrono::steady_clock::now() < next)
                WaitRunningSyncCalls([&stop] { return stop.Requested(); },
                                     std::chrono::ceil<std::chrono::milliseconds>(
                                         next - std::chrono::steady_clock::now()));
            ShowPending();
            if (!stop.Requested()) {
                for (TDeviceWatch::Device& device : devices_.EndRound()) {
                    Print(WatchEventKind::Down, {device.reply, device.hardware, device.adapter});
                    if (metrics_)
                        metrics_->WentDown(device);
                }
                WriteMetrics();
            }
            std::fflush(out_);
        }
        return Summary();
    }

private:
    // Replies are labelled with their adapter's number only when there are several.
    int Label(const SearchedAdapter& adapter) const {
        return options_.adapter == kAllAdapters ? adapter.number : 0;
    }

    void WriteMetrics() {
        if (!metrics_)
            return;
        std::map<int, std::uint64_t> drops;
        for (std::size_t i = 0; i < servers_.size(); ++i)
            if (const auto count = KernelDrops(servers_[i]->Bindings[0].Handle()))
                drops[labels_[i]] = *count;
        metrics_->Write(devices_, drops);
    }

    // Runs in the main thread, inside the wait.
    void Read(int adapter, const TIdBytes& data, TIdSocketHandle& binding) {
        const std::string info = BytesToText(data, 1);
        const auto event = devices_.Heard(adapter, binding.SenderIP, binding.SenderPort, info);
        TDeviceWatch::Device* device = devices_.Find(adapter, binding.SenderIP);
        if (device)
            device->lastReply = std::chrono::system_clock::now();
        if (metrics_) {
            metrics_->Replied(adapter, device != nullptr);
            if (event == WatchEventKind::Up)
                metrics_->CameUp(adapter, binding.SenderIP);
        }
        if (!event)
            return;
        // Shown once the hand-over that brought it has run, so that the
        // events of one hand-over share one read of the neighbour table.
        if (pending_.empty())
            Queue([this, alive = std::weak_ptr<int>(alive_)] {
                if (!alive.expired())
                    ShowPending();
            });
        pending_.push_back({*event, adapter, device->reply});
    }

    void ShowPending() {
        if (pending_.empty())
            return;
        std::vector<std::string> ips;
        for (const PendingEvent& event : pending_)
            ips.push_back(event.reply.IP);
        const std::vector<TDeviceHardware> hardware = hardware_.FindAll(ips);
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            const PendingEvent& event = pending_[i];
            // Kept for the device's down event; tracked still, as no round
            // ends between a reply and its showing.
            if (TDeviceWatch::Device* device = devices_.Find(event.adapter, event.reply.IP))
                device->hardware = hardware[i];
            Print(event.kind, {event.reply, hardware[i], event.adapter});
        }
        pending_.clear();
        std::fflush(out_);
    }

    void Print(WatchEventKind kind, const ShownReply& reply) {
        const std::string text =
            FormatWatchEvent(options_.format, kind, std::chrono::system_clock::now(), reply);
        std::fwrite(text.data(), 1, text.size(), out_);
        ++events_;
    }

    WatchSummary Summary() {
        WatchSummary summary;
        for (const auto& server : servers_)
            if (const auto drops = KernelDrops(server->Bindings[0].Handle()))
                summary.kernelDrops = summary.kernelDrops.value_or(0) + *drops;
        for (const auto& server : servers_)
            server->SetActive(false);
        pending_.clear();
        summary.up = devices_.Tracked();
        summary.events = events_;
        summary.untracked = devices_.Untracked();
        summary.tooLong = tooLong_;
        return summary;
    }

    struct PendingEvent {
        WatchEventKind kind;
        int adapter;
        TDEVICE_INFO1 reply; // as it was when the event was made
    };

    const CliOptions& options_;
    std::FILE* out_;
    TDeviceWatch devices_;
    THardwareLookup hardware_;
    std::uint64_t events_ = 0;
    std::uint64_t tooLong_ = 0;
    std::vector<PendingEvent> pending_; // made, not shown yet
    // Expires with the watch, so a show still queued then does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::optional<TWatchMetrics> metrics_; // with --metrics-file
    std::vector<int> labels_;              // each server's adapter label
    // Last, so they go first: their receiving threads call Read until they stop.
    std::vector<std::unique_ptr<TIdUDPServer>> servers_;
};

} // namespace

WatchSummary RunWatch(const CliOptions& options, std::FILE* out) {
    const std::vector<SearchedAdapter> adapters = ChosenAdapters(EnumerateAdapters(), options);
    // Before the receiving threads start, so that they inherit the blocked signals.
    TStopSignals stop;
    Watch watch(options, out, adapters);
    return watch.Run(stop);
}

std::string WatchSummaryText(const WatchSummary& summary) {
    std::string text = Counted(summary.up, "device", "devices") + " up, " +
                       Counted(summary.events, "event", "events");
    if (summary.untracked > 0)
        text += ", " + Counted(summary.untracked, "reply", "replies") +
                " from devices beyond the " + std::to_string(TDeviceWatch::DefaultCapacity) +
                " tracked not shown";
    if (summary.tooLong > 0)
        text += ", " + Counted(summary.tooLong, "reply", "replies") +
                " longer than 8192 bytes not shown";
    if (summary.kernelDrops)
        text += ", " + Counted(*summary.kernelDrops, "datagram", "datagrams") +
                " dropped by the kernel";
    return text;
}

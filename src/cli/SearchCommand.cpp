#include "cli/SearchCommand.h"

#include "adapters/LGetAdapterInfo.h"
#include "cli/Countdown.h"
#include "cli/KernelDrops.h"
#include "cli/PortHolder.h"
#include "cli/ShownReplies.h"
#include "cli/ShownReply.h"
#include "cli/TerminalText.h"
#include "discovery/Probe.h"
#include "discovery/ReplyTable.h"
#include "discovery/Util.h"
#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kListenPort = 60000;
constexpr int kProbePort = 6001;
// How often the wait comes up to redraw the countdown.
constexpr std::chrono::milliseconds kCountdownTick = 200ms;

} // namespace

std::unique_ptr<TIdUDPServer> ListeningServer(const std::string& ip,
                                              std::optional<std::int32_t> receiveQueue,
                                              ReplyRead read, TooLongReply tooLong) {
    auto server = std::make_unique<TIdUDPServer>("UDPServerTask");
    if (receiveQueue)
        server->ReceiveBufferSize = *receiveQueue;
    server->OnUDPRead = [read = std::move(read), &endpoint = *server](
                            TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& binding) {
        if (endpoint.Active())
            read(data, binding);
    };
    // The window drops a reply too long for the receive buffer without a
    // word; here it is told, for the summary.
    server->OnUDPException = [tooLong = std::move(tooLong)](TIdUDPListenerThread&, TIdSocketHandle&,
                                                            const std::string& message,
                                                            const std::string&) {
        if (message == TIdStack::SocketErrorMessage(ws::WSAEMSGSIZE))
            tooLong();
    };
    TIdSocketHandle& binding = server->Bindings.Add();
    binding.IP = ip;
    binding.Port = kListenPort;
    try {
        server->SetActive(true);
    } catch (const EIdCouldNotBindSocket& failure) {
        // Most often the window of this same tool holds the port: say who.
        const std::string holder = PortHolderText(ip, kListenPort);
        if (holder.empty())
            throw;
        throw Exception(failure.Message() + "\r\n" + Utf8ToGbk(holder));
    }
    return server;
}

std::string InterfaceName(const TAdapterInfo& adapter) {
    return GbkToUtf8(adapter.description.substr(0, adapter.description.find(' ')));
}

namespace {

// "choose 1 to 2, eth-a, eth-b or all".
std::string ChoicesText(const std::vector<TAdapterInfo>& adapters) {
    std::string text =
        adapters.size() == 1 ? "choose 1" : "choose 1 to " + std::to_string(adapters.size());
    for (const TAdapterInfo& adapter : adapters)
        text += ", " + InterfaceName(adapter);
    return text + " or all";
}

} // namespace

std::vector<SearchedAdapter> ChosenAdapters(const std::vector<TAdapterInfo>& adapters,
                                            const CliOptions& options) {
    std::vector<SearchedAdapter> chosen;
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const std::string name = InterfaceName(adapters[i]);
        const bool named = options.adapterName.empty()
                               ? options.adapter == kAllAdapters ||
                                     static_cast<std::size_t>(options.adapter) == i + 1
                               : options.adapterName == name;
        if (named)
            chosen.push_back({static_cast<int>(i + 1), name, adapters[i].ipAddress});
    }
    if (chosen.empty())
        throw UsageError(
            "there is no adapter '" +
            (options.adapterName.empty() ? std::to_string(options.adapter) : options.adapterName) +
            "' on this host: " + ChoicesText(adapters));
    return chosen;
}

namespace {

std::string Counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The wait's event processing for the length of one search: run the replies
// handed over by the receiving thread as they come, and keep the countdown
// current. Removed again when the search ends.
class WaitHook {
public:
    // `end`: when the search's last wait ends, which the countdown counts to.
    WaitHook(Countdown& countdown, std::chrono::steady_clock::time_point end) {
        SetProcessMessagesHook([&countdown, end](std::chrono::milliseconds limit) {
            countdown.Show(std::chrono::ceil<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now()));
            WaitRunningSyncCalls([] { return false; }, std::min(limit, kCountdownTick));
        });
    }
    ~WaitHook() { SetProcessMessagesHook(nullptr); }
    WaitHook(const WaitHook&) = delete;
    WaitHook& operator=(const WaitHook&) = delete;
};

std::string AddressesText(const std::vector<SearchedAdapter>& adapters) {
    std::string text;
    for (const SearchedAdapter& adapter : adapters)
        text += (text.empty() ? "" : ", ") + adapter.ip;
    return text;
}

// "adapter 2 (eth-b, 203.0.113.1): " and the failure's own text.
std::string AdapterFailureText(const SearchedAdapter& adapter, const Exception& failure) {
    return "adapter " + std::to_string(adapter.number) + " (" + Utf8ToGbk(adapter.name) + ", " +
           adapter.ip + "): " + failure.Message();
}

// Binds what binds. With one adapter chosen its failure is the search's; with
// every adapter, a failed one is told on `err` and the others are searched.
class Search {
public:
    Search(const CliOptions& options, std::FILE* out, std::FILE* terminal, std::FILE* err,
           std::vector<SearchedAdapter> adapters, std::optional<std::int32_t> receiveQueue)
        : options_(options), out_(out), shown_(options.unique) {
        std::vector<SearchedAdapter> bound;
        for (const SearchedAdapter& adapter : adapters) {
            try {
                AddServer(adapter, receiveQueue);
                bound.push_back(adapter);
            } catch (const Exception& failure) {
                if (options.adapter != kAllAdapters)
                    throw;
                failures_.push_back(AdapterFailureText(adapter, failure));
                const std::string line =
                    "device-finder-cli: " + VisibleGbkLines(failures_.back()) + "\n";
                std::fwrite(line.data(), 1, line.size(), err);
                std::fflush(err);
            }
        }
        if (bound.empty())
            throw Exception("no adapter could be searched");
        const std::string port = " port " + std::to_string(kListenPort);
        countdown_.emplace(terminal, "searching from " + AddressesText(bound) + port,
                           "searching from " + Counted(bound.size(), "adapter", "adapters") + port);
    }

    // What went wrong with each adapter not searched, in the adapters' order.
    const std::vector<std::string>& Failures() const { return failures_; }

    SearchSummary Run() {
        const TIdBytes probe = PrepareProbe();
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(static_cast<long long>(options_.probes - 1) *
                                                       options_.intervalMs +
                                                   options_.waitMs);
        {
            WaitHook hook(*countdown_, end);
            for (int sent = 0; sent < options_.probes; ++sent) {
                if (sent > 0)
                    WaitWithMessages(options_.intervalMs);
                for (const auto& server : servers_)
                    server->SendBroadcast(probe, kProbePort);
            }
            WaitWithMessages(options_.waitMs);
        }
        SearchSummary summary;
        // Read while the sockets are still open; closing them ends the count.
        for (const auto& server : servers_)
            if (const auto drops = KernelDrops(server->Bindings[0].Handle()))
                summary.kernelDrops = summary.kernelDrops.value_or(0) + *drops;
        // A reply still being handed over is run here and ignored, as the
        // endpoint reads inactive by then.
        for (const auto& server : servers_)
            server->SetActive(false);
        ShowPending();
        summary.shown = shownCount_;
        summary.notKept = notKept_;
        summary.folded = folded_;
        summary.tooLong = tooLong_;
        return summary;
    }

private:
    // Raises when the adapter cannot be bound.
    void AddServer(const SearchedAdapter& adapter, std::optional<std::int32_t> receiveQueue) {
        const int label = options_.adapter == kAllAdapters ? adapter.number : 0;
        servers_.push_back(ListeningServer(
            adapter.ip, receiveQueue,
            [this, label](const TIdBytes& data, TIdSocketHandle& binding) {
                Read(label, data, binding);
            },
            [this] { ++tooLong_; }));
    }

    // Runs in the main thread, inside the wait. `adapter` labels the reply
    // when every adapter is searched, else 0.
    void Read(int adapter, const TIdBytes& data, TIdSocketHandle& binding) {
        std::string info = BytesToText(data, 1);
        switch (shown_.Admit(adapter, binding.SenderIP, info)) {
        case TShownReplies::Verdict::Fold:
            ++folded_;
            return;
        case TShownReplies::Verdict::Beyond:
            ++notKept_;
            return;
        case TShownReplies::Verdict::Show:
            break;
        }
        TDEVICE_INFO1 record;
        record.IP = binding.SenderIP;
        record.Port = std::to_string(binding.SenderPort);
        record.Info = std::move(info);
        ++shownCount_;
        // Shown once the hand-over that brought it has run, so that the
        // replies of one hand-over share one read of the neighbour table.
        if (pending_.empty())
            Queue([this, alive = std::weak_ptr<int>(alive_)] {
                if (!alive.expired())
                    ShowPending();
            });
        pending_.push_back({std::move(record), adapter});
    }

    void ShowPending() {
        if (pending_.empty())
            return;
        std::vector<std::string> ips;
        for (const PendingReply& reply : pending_)
            ips.push_back(reply.record.IP);
        const std::vector<TDeviceHardware> hardware = hardware_.FindAll(ips);
        countdown_->Clear();
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            const std::string text = FormatShownReply(
                options_.format, {pending_[i].record, hardware[i], pending_[i].adapter});
            std::fwrite(text.data(), 1, text.size(), out_);
        }
        std::fflush(out_);
        pending_.clear();
    }

    struct PendingReply {
        TDEVICE_INFO1 record;
        int adapter;
    };

    const CliOptions& options_;
    std::FILE* out_;
    std::vector<std::string> failures_;
    std::optional<Countdown> countdown_; // from the moment the adapters are bound
    THardwareLookup hardware_;
    TShownReplies shown_;
    int shownCount_ = 0;
    int notKept_ = 0;
    int folded_ = 0;
    int tooLong_ = 0;
    std::vector<PendingReply> pending_; // recorded, not shown yet
    // Expires with the search, so a show still queued then does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    // Last, so they go first: their receiving threads call Read until they stop.
    std::vector<std::unique_ptr<TIdUDPServer>> servers_;
};

} // namespace

SearchSummary RunSearch(const CliOptions& options, std::FILE* out, std::FILE* terminal,
                        std::optional<std::int32_t> receiveQueue, std::FILE* err) {
    SearchSummary summary;
    std::size_t failed = 0;
    {
        Search search(options, out, terminal, err, ChosenAdapters(EnumerateAdapters(), options),
                      receiveQueue);
        summary = search.Run();
        failed = search.Failures().size();
    }
    if (failed > 0)
        throw Exception(SummaryText(summary) + ", " + Counted(failed, "adapter", "adapters") +
                        " not searched");
    return summary;
}

std::string SummaryText(const SearchSummary& summary) {
    std::string text =
        Counted(static_cast<std::uint64_t>(summary.shown), "reply", "replies") + " shown";
    if (summary.notKept > 0)
        text += ", " + Counted(static_cast<std::uint64_t>(summary.notKept), "reply", "replies") +
                " from devices beyond the first " + std::to_string(TShownReplies::DefaultCapacity) +
                " not shown";
    if (summary.folded > 0)
        text += ", " + Counted(static_cast<std::uint64_t>(summary.folded), "repeat", "repeats") +
                " folded";
    if (summary.tooLong > 0)
        text += ", " + Counted(static_cast<std::uint64_t>(summary.tooLong), "reply", "replies") +
                " longer than 8192 bytes not shown";
    if (summary.kernelDrops)
        text += ", " + Counted(*summary.kernelDrops, "datagram", "datagrams") +
                " dropped by the kernel";
    return text;
}

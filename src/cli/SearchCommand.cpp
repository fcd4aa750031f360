#include "cli/SearchCommand.h"

#include "adapters/LGetAdapterInfo.h"
#include "cli/Countdown.h"
#include "cli/KernelDrops.h"
#include "cli/ReplyFormat.h"
#include "discovery/Probe.h"
#include "discovery/ReplyTable.h"
#include "discovery/Util.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"
#include "platform/Exception.h"

#include <algorithm>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kListenPort = 60000;
constexpr int kProbePort = 6001;
// How often the wait comes up to redraw the countdown.
constexpr std::chrono::milliseconds kCountdownTick = 200ms;

const TAdapterInfo& ChosenAdapter(const std::vector<TAdapterInfo>& adapters, int number) {
    if (static_cast<std::size_t>(number) > adapters.size())
        throw Exception("there is no adapter " + std::to_string(number) + ": this host has " +
                        std::to_string(adapters.size()) +
                        (adapters.size() == 1 ? " adapter" : " adapters") +
                        " (see 'device-finder-cli adapters')");
    return adapters[static_cast<std::size_t>(number - 1)];
}

std::string Counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The wait's event processing for the length of one search: run the replies
// handed over by the receiving thread as they come, and keep the countdown
// current. Removed again when the search ends.
class WaitHook {
public:
    explicit WaitHook(Countdown& countdown) {
        SetProcessMessagesHook([&countdown](std::chrono::milliseconds limit) {
            // The wait asks for one millisecond past the time that is left.
            countdown.Show(limit - 1ms);
            WaitRunningSyncCalls([] { return false; }, std::min(limit, kCountdownTick));
        });
    }
    ~WaitHook() { SetProcessMessagesHook(nullptr); }
    WaitHook(const WaitHook&) = delete;
    WaitHook& operator=(const WaitHook&) = delete;
};

class Search {
public:
    Search(const CliOptions& options, std::FILE* out, std::FILE* terminal, const std::string& ip,
           std::optional<std::int32_t> receiveQueue)
        : options_(options), out_(out),
          countdown_(terminal, "searching from " + ip + " port " + std::to_string(kListenPort)) {
        if (receiveQueue)
            server_.ReceiveBufferSize = *receiveQueue;
        server_.OnUDPRead = [this](TIdUDPListenerThread&, const TIdBytes& data,
                                   TIdSocketHandle& binding) { Read(data, binding); };
        Bind(ip);
    }

    SearchSummary Run() {
        server_.SendBroadcast(PrepareProbe(), kProbePort);
        {
            WaitHook hook(countdown_);
            WaitWithMessages(options_.waitMs);
        }
        SearchSummary summary;
        // Read while the socket is still open; closing it ends the count.
        summary.kernelDrops = KernelDrops(server_.Bindings[0].Handle());
        // A reply still being handed over is run here and ignored, as the
        // endpoint reads inactive by then.
        server_.SetActive(false);
        summary.shown = table_.NextIndex();
        summary.notKept = notKept_;
        return summary;
    }

private:
    // As the window binds: one binding on the adapter's address, port 60000.
    void Bind(const std::string& ip) {
        server_.SetActive(false);
        server_.Bindings.Clear();
        TIdSocketHandle& binding = server_.Bindings.Add();
        binding.IP = ip;
        binding.Port = kListenPort;
        server_.SetActive(true);
    }

    // Runs in the main thread, inside the wait.
    void Read(const TIdBytes& data, TIdSocketHandle& binding) {
        if (!server_.Active())
            return;
        const TDEVICE_INFO1* record =
            table_.Record(binding.SenderIP, binding.SenderPort, BytesToText(data, 1));
        if (record == nullptr) {
            ++notKept_;
            return;
        }
        countdown_.Clear();
        const std::string text = FormatReply(options_.format, *record);
        std::fwrite(text.data(), 1, text.size(), out_);
        std::fflush(out_);
    }

    const CliOptions& options_;
    std::FILE* out_;
    Countdown countdown_;
    TReplyTable table_;
    int notKept_ = 0;
    // Last, so it goes first: its receiving thread calls Read until it stops.
    TIdUDPServer server_{"UDPServerTask"};
};

} // namespace

SearchSummary RunSearch(const CliOptions& options, std::FILE* out, std::FILE* terminal,
                        std::optional<std::int32_t> receiveQueue) {
    const std::vector<TAdapterInfo> adapters = EnumerateAdapters();
    const TAdapterInfo& adapter = ChosenAdapter(adapters, options.adapter);
    Search search(options, out, terminal, adapter.ipAddress, receiveQueue);
    return search.Run();
}

std::string SummaryText(const SearchSummary& summary) {
    std::string text =
        Counted(static_cast<std::uint64_t>(summary.shown), "reply", "replies") + " shown";
    if (summary.notKept > 0)
        text += ", " + Counted(static_cast<std::uint64_t>(summary.notKept), "reply", "replies") +
                " beyond the first " + std::to_string(TReplyTable::Capacity) + " not shown";
    if (summary.kernelDrops)
        text += ", " + Counted(*summary.kernelDrops, "datagram", "datagrams") +
                " dropped by the kernel";
    return text;
}

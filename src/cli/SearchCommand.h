#pragma once

#include "adapters/LGetAdapterInfo.h"
#include "cli/CliOptions.h"
#include "net/IdUDPServer.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What one search saw, for the summary.
struct SearchSummary {
    int shown = 0;                            // replies recorded and printed
    int notKept = 0;                          // replies from devices beyond the 65536 shown
    int folded = 0;                           // repeats not shown, with --unique
    int tooLong = 0;                          // replies longer than the 8192-byte buffer
    std::optional<std::uint64_t> kernelDrops; // for the search's socket, when known
};

// One adapter to search from: its number in the adapter list, its interface
// name (UTF-8) and address.
struct SearchedAdapter {
    int number = 0;
    std::string name;
    std::string ip;
};

// The adapters `options` chooses among `adapters`: by number, by interface
// name or every one. Raises UsageError naming the choices there are when none
// matches.
std::vector<SearchedAdapter> ChosenAdapters(const std::vector<TAdapterInfo>& adapters,
                                            const CliOptions& options);

// The interface name that leads an adapter's description, in UTF-8.
std::string InterfaceName(const TAdapterInfo& adapter);

// What a listening endpoint hands on: each reply with the binding that
// heard it, and the news of one too long for the receive buffer.
using ReplyRead = std::function<void(const TIdBytes& data, TIdSocketHandle& binding)>;
using TooLongReply = std::function<void()>;

// An endpoint listening as the window's does: one binding on `ip`, port
// 60000, handing replies to `read` while it is active. `receiveQueue`
// replaces the endpoint's own request for the socket's receive queue. Raises
// when it cannot be bound.
std::unique_ptr<TIdUDPServer> ListeningServer(const std::string& ip,
                                              std::optional<std::int32_t> receiveQueue,
                                              ReplyRead read, TooLongReply tooLong);

// One search as the window runs it: binds adapter `options.adapter` (or every
// adapter) port 60000, broadcasts the probe `options.probes`
// times from each, listens `options.waitMs` after the last and prints each
// reply to `out` as it arrives, in `options.format`, with the sender's MAC
// and maker. `terminal` gets the countdown; nullptr shows none.
// `receiveQueue` replaces the endpoint's own request for the socket's receive
// queue (benchmarks use it to play a host with the usual system cap). Raises
// on a failure (no such adapter, bind, send). With every adapter, one that
// cannot be bound is named in a line on `err` and the others are searched;
// the search then raises after it, with the summary, so the exit status
// tells a partial search from a whole one.
SearchSummary RunSearch(const CliOptions& options, std::FILE* out, std::FILE* terminal,
                        std::optional<std::int32_t> receiveQueue = std::nullopt,
                        std::FILE* err = stderr);

// "3 replies shown, 0 datagrams dropped by the kernel" and the like.
std::string SummaryText(const SearchSummary& summary);

// Runs inside the finder namespace of the network lab (tests/lab/lab.sh) and
// compares the enumeration with what `ip` shows for the same namespace.
#include "LabEnv.h"
#include "adapters/LGetAdapterInfo.h"

#include "platform/Exception.h"
#include "platform/SysErrorMessage.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace {

struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

std::string Run(const std::string& command) {
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    std::string output;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        output += buffer;
    return output;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string MaskOfPrefix(int prefix) {
    in_addr mask{};
    mask.s_addr = htonl(prefix == 0 ? 0 : ~0u << (32 - prefix));
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &mask, text, sizeof text);
}

// One adapter as `ip -br addr`, `ip -br link` and `ip route` show it.
struct IpView {
    std::string name;
    std::vector<std::pair<std::string, std::string>> addresses; // address, mask
    std::string mac;                                            // "02-00-..."
    std::string gateway;
    std::string primary; // "192.0.2.1/24"
};

std::string MacOfLinkLine(const std::string& name) {
    std::istringstream links(Run("ip -br link show dev " + name));
    std::string field, state, mac;
    links >> field >> state >> mac;
    for (char& c : mac)
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return mac;
}

std::string GatewayOf(const std::string& name) {
    std::istringstream routes(Run("ip -4 route show default dev " + name));
    std::string word;
    while (routes >> word)
        if (word == "via" && routes >> word)
            return word;
    return {};
}

// The up, non-loopback adapters with an IPv4 address of the namespace, in the
// order `ip` lists them.
std::vector<IpView> AdaptersAsIpShowsThem() {
    std::vector<IpView> views;
    std::istringstream lines(Run("ip -br addr show up"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        IpView view;
        std::string state, address;
        fields >> view.name >> state;
        view.name = view.name.substr(0, view.name.find('@'));
        if (view.name == "lo" || view.name.empty())
            continue;
        while (fields >> address)
            if (address.find('.') != std::string::npos) {
                const auto slash = address.find('/');
                if (view.addresses.empty())
                    view.primary = address;
                view.addresses.emplace_back(address.substr(0, slash),
                                            MaskOfPrefix(std::stoi(address.substr(slash + 1))));
            }
        if (view.addresses.empty())
            continue; // cannot be searched: not an adapter
        view.mac = MacOfLinkLine(view.name);
        view.gateway = GatewayOf(view.name);
        views.push_back(view);
    }
    return views;
}

void ExpectMatchesIp(const std::vector<TAdapterInfo>& adapters) {
    const std::vector<IpView> views = AdaptersAsIpShowsThem();
    ASSERT_EQ(adapters.size(), views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
        const TAdapterInfo& adapter = adapters[i];
        const IpView& view = views[i];
        SCOPED_TRACE(view.name);
        EXPECT_EQ(adapter.id, static_cast<int>(i + 1));
        EXPECT_EQ(adapter.description.substr(0, adapter.description.find(' ')), view.name);
        EXPECT_TRUE(adapter.description.ends_with(" " + view.primary)) << adapter.description;
        std::string mask;
        for (std::size_t k = 0; k < view.addresses.size(); ++k)
            mask += (k == 0 ? "" : "A: " + view.addresses[k].first + " M: ") +
                    view.addresses[k].second + "\r";
        EXPECT_EQ(adapter.ipAddress, view.addresses.front().first);
        EXPECT_EQ(adapter.mask, mask);
        EXPECT_EQ(adapter.mac, view.mac);
        EXPECT_EQ(adapter.gateway, view.gateway);
        EXPECT_FALSE(adapter.dhcpEnabled);
        EXPECT_EQ(adapter.dhcpServer, "");
    }
}

class AdapterLab : public testing::Test {
protected:
    void SetUp() override {
        if (Env("LAB_ID").empty())
            GTEST_SKIP() << "runs only inside the network lab";
    }
};

} // namespace

TEST_F(AdapterLab, FinderAdaptersInOrderAsIpShowsThem) {
    ASSERT_EQ(std::system(kUpWithoutAddress), 0);
    const auto adapters = EnumerateAdapters();
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[0].description, "eth-a " + Env("LAB_FINDER_IP_A") + "/24");
    EXPECT_EQ(adapters[0].ipAddress, Env("LAB_FINDER_IP_A"));
    EXPECT_EQ(adapters[0].mask, "255.255.255.0\r");
    EXPECT_EQ(adapters[0].gateway, Env("LAB_GATEWAY_A"));
    EXPECT_EQ(adapters[1].description, "eth-b " + Env("LAB_FINDER_IP_B") + "/24");
    EXPECT_EQ(adapters[1].ipAddress, Env("LAB_FINDER_IP_B"));
    EXPECT_EQ(adapters[1].mask, "255.255.255.0\r");
    EXPECT_EQ(adapters[1].gateway, "");
    ExpectMatchesIp(adapters);
}

TEST_F(AdapterLab, BareNamespaceHasNoAdapter) {
    try {
        EnumerateAdapters();
        FAIL() << "no error raised";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), 232);
        EXPECT_EQ(error.Message(), "System Error.  Code: 232.\r\n" + SysErrorMessage(232));
    }
}

TEST_F(AdapterLab, TwentyVethAdaptersAreAllListed) {
    const auto adapters = EnumerateAdapters();
    ASSERT_EQ(adapters.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(adapters[i].description.starts_with("vx" + std::to_string(i + 1) + " "));
    ExpectMatchesIp(adapters);
}

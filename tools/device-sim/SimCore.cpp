#include "SimCore.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

std::string FormatLogLine(std::string_view ip, std::uint16_t port, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line =
        std::string(ip) + ":" + std::to_string(port) + " " + std::to_string(bytes.size()) + " ";
    line.reserve(line.size() + 2 * bytes.size());
    for (const unsigned char byte : bytes) {
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0xF];
    }
    return line;
}

std::vector<PlannedReply> PlanReplies(const SimOptions& options, std::mt19937_64& random) {
    std::uniform_int_distribution<long long> extra(0, options.jitter.count());
    const std::uint64_t total = std::uint64_t{options.devices} * options.replies;
    const auto spread = std::chrono::duration_cast<std::chrono::microseconds>(options.spread);
    std::vector<PlannedReply> plan;
    plan.reserve(total);
    for (std::uint32_t device = 0; device < options.devices; ++device) {
        for (std::uint32_t k = 0; k < options.replies; ++k) {
            const auto place = static_cast<std::int64_t>(plan.size());
            const auto share = spread * place / static_cast<std::int64_t>(total);
            plan.push_back(
                {options.delay + share + std::chrono::milliseconds(extra(random)), device});
        }
    }
    std::stable_sort(plan.begin(), plan.end(),
                     [](const auto& a, const auto& b) { return a.after < b.after; });
    return plan;
}

bool IsLabNetnsName(std::string_view name) {
    const auto digits = [&name]() {
        const auto count = std::min(name.find_first_not_of("0123456789"), name.size());
        name.remove_prefix(count);
        return count > 0;
    };
    const auto take = [&name](char c) {
        const bool found = !name.empty() && name.front() == c;
        name.remove_prefix(found ? 1 : 0);
        return found;
    };
    if (!name.starts_with("dfl")) {
        return false;
    }
    name.remove_prefix(3);
    return digits() && take('-') && digits() && take('-') && !name.empty();
}

std::string CurrentLabNetns() {
    struct stat self {};
    if (stat("/proc/self/ns/net", &self) != 0) {
        return "";
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string name = entry.path().filename();
        struct stat ns {};
        if (IsLabNetnsName(name) && stat(entry.path().c_str(), &ns) == 0 &&
            ns.st_dev == self.st_dev && ns.st_ino == self.st_ino) {
            return name;
        }
    }
    return "";
}

#include "platform/DhcpLease.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Lease files are small; anything larger is not read.
constexpr std::uintmax_t kMaxLeaseFileSize = 4 * 1024 * 1024;

// A dhclient lease file as tokens: words, quoted strings (kept with their
// opening quote so they never read as punctuation) and the punctuation "{",
// "}" and ";". Comments run from "#" to the end of the line.
std::vector<std::string> Tokens(std::string_view text) {
    std::vector<std::string> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '#') {
            at = std::min(text.find('\n', at), text.size());
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
        } else if (c == '{' || c == '}' || c == ';') {
            tokens.emplace_back(1, c);
            ++at;
        } else if (c == '"') {
            std::string quoted(1, '"');
            for (++at; at < text.size() && text[at] != '"'; ++at) {
                if (text[at] == '\\' && at + 1 < text.size())
                    ++at;
                quoted += text[at];
            }
            tokens.push_back(quoted);
            ++at;
        } else {
            std::string word;
            while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at])) &&
                   std::string_view("{};\"#").find(text[at]) == std::string_view::npos)
                word += text[at++];
            tokens.push_back(word);
        }
    }
    return tokens;
}

std::string Unquoted(const std::string& token) {
    return !token.empty() && token.front() == '"' ? token.substr(1) : token;
}

struct LeaseBlock {
    std::string interfaceName;
    DhcpLease lease;
};

void ApplyStatement(const std::vector<std::string>& statement, LeaseBlock& block) {
    if (statement.size() == 2 && statement[0] == "interface")
        block.interfaceName = Unquoted(statement[1]);
    else if (statement.size() == 2 && statement[0] == "fixed-address")
        block.lease.address = statement[1];
    else if (statement.size() == 3 && statement[0] == "option" &&
             statement[1] == "dhcp-server-identifier")
        block.lease.server = statement[2];
}

// Reads the block whose first token after "{" is at `at`; leaves `at` after
// its closing "}". Statements of nested blocks are passed over.
LeaseBlock ReadBlock(const std::vector<std::string>& tokens, std::size_t& at) {
    LeaseBlock block;
    std::vector<std::string> statement;
    int depth = 1;
    for (; at < tokens.size() && depth > 0; ++at) {
        const std::string& token = tokens[at];
        if (token == "{" || token == "}") {
            depth += token == "{" ? 1 : -1;
            statement.clear();
        } else if (token == ";") {
            if (depth == 1)
                ApplyStatement(statement, block);
            statement.clear();
        } else {
            statement.push_back(token);
        }
    }
    return block;
}

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > kMaxLeaseFileSize)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> FilesIn(const fs::path& directory) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

bool IsDhclientFile(const std::string& fileName) {
    return fileName.starts_with("dhclient") &&
           (fileName.ends_with(".leases") || fileName.ends_with(".lease"));
}

void Add(std::vector<DhcpLease>& leases, std::optional<DhcpLease> lease) {
    if (lease)
        leases.push_back(std::move(*lease));
}

} // namespace

std::optional<DhcpLease> ParseDhclientLeases(std::string_view text,
                                             std::string_view interfaceName) {
    const std::vector<std::string> tokens = Tokens(text);
    std::optional<DhcpLease> newest;
    int depth = 0;
    for (std::size_t at = 0; at < tokens.size();) {
        if (depth == 0 && tokens[at] == "lease" && at + 1 < tokens.size() &&
            tokens[at + 1] == "{") {
            at += 2;
            LeaseBlock block = ReadBlock(tokens, at);
            if (block.interfaceName == interfaceName && !block.lease.address.empty())
                newest = std::move(block.lease);
            continue;
        }
        if (tokens[at] == "{")
            ++depth;
        else if (tokens[at] == "}" && depth > 0)
            --depth;
        ++at;
    }
    return newest;
}

std::optional<DhcpLease> ParseKeyValueLease(std::string_view text) {
    DhcpLease lease;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        if (key == "ADDRESS")
            lease.address = line.substr(equals + 1);
        else if (key == "SERVER_ADDRESS")
            lease.server = line.substr(equals + 1);
    }
    if (lease.address.empty())
        return std::nullopt;
    return lease;
}

LeaseLocations LeaseLocations::System() {
    return {{"/var/lib/dhcp", "/var/lib/dhclient"},
            "/run/systemd/netif/leases",
            "/var/lib/NetworkManager"};
}

std::vector<DhcpLease> FindLeases(const LeaseLocations& where, std::string_view interfaceName,
                                  std::uint32_t interfaceIndex) {
    std::vector<DhcpLease> leases;
    for (const fs::path& directory : where.dhclientDirectories)
        for (const fs::path& file : FilesIn(directory))
            if (IsDhclientFile(file.filename().string()))
                if (auto text = ReadSmallFile(file))
                    Add(leases, ParseDhclientLeases(*text, interfaceName));
    if (auto text = ReadSmallFile(where.networkdDirectory / std::to_string(interfaceIndex)))
        Add(leases, ParseKeyValueLease(*text));
    const std::string suffix = std::string("-").append(interfaceName).append(".lease");
    for (const fs::path& file : FilesIn(where.networkManagerDirectory)) {
        const std::string fileName = file.filename().string();
        if (!fileName.ends_with(suffix))
            continue;
        if (auto text = ReadSmallFile(file))
            Add(leases, IsDhclientFile(fileName) ? ParseDhclientLeases(*text, interfaceName)
                                                 : ParseKeyValueLease(*text));
    }
    return leases;
}

#include "net/ServerSettings.h"

#include <charconv>

bool IsValidAeTitle(std::string_view title) {
    if (title.empty() || title.size() > 16) return false;
    bool onlySpaces = true;
    for (const char c : title) {
        if (c < 0x20 || c > 0x7E || c == '\\') return false;
        if (c != ' ') onlySpaces = false;
    }
    return !onlySpaces;
}

std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string& error) {
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos) {
        error = "a server is given as AE@HOST:PORT, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    ServerAddress address;
    address.aeTitle = std::string(text.substr(0, at));
    if (!IsValidAeTitle(address.aeTitle)) {
        error = "\"" + address.aeTitle + "\" is not an AE title (1 to 16 characters, no backslash)";
        return std::nullopt;
    }
    std::string_view rest = text.substr(at + 1);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        error = "the server \"" + std::string(text) + "\" gives no port (AE@HOST:PORT)";
        return std::nullopt;
    }
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) {
        error = "the server \"" + std::string(text) + "\" gives no host (AE@HOST:PORT)";
        return std::nullopt;
    }
    const std::string_view portText = rest.substr(colon + 1);
    unsigned port = 0;
    const auto [end, fault] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (fault != std::errc() || end != portText.data() + portText.size() || port == 0 || port > 65535) {
        error = "\"" + std::string(portText) + "\" is not a port (1 to 65535)";
        return std::nullopt;
    }
    address.host = std::string(host);
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

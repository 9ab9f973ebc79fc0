// Which DICOM server to talk to, under which AE title of ours, and how long to wait
// at each step. Plain values: the viewer keeps them in its settings, the command
// line builds them from "AE@HOST:PORT".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct ServerAddress {
    std::string aeTitle;  // the server's (called) AE title
    std::string host;     // a name or a numeric address
    std::uint16_t port = 0;
};

// "AE@HOST:PORT", the host possibly as "[v6 address]". nullopt with `error` in words
// when the text is not one.
std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string& error);

// An AE title: 1 to 16 printable ASCII characters, no backslash, not only spaces.
bool IsValidAeTitle(std::string_view title);

// Seconds to wait, each for one step, so that a reason can name the step that ran out.
// The defaults leave room for a slow hospital network and a busy archive: an
// archive may take a minute or more to answer a wide query or to fetch a study
// from slow storage before it sends the first file.
struct NetworkTimeouts {
    int connectSeconds = 30;      // the TCP connection
    int associationSeconds = 30;  // the answer to our association request, and to its release
    int messageSeconds = 180;     // each reply, and each file, once the association stands
};

inline constexpr const char* kDefaultCallingAe = "DORVANELLE";

struct ServerSettings {
    ServerAddress server;
    std::string callingAe = kDefaultCallingAe;  // our own AE title
    NetworkTimeouts timeouts;
};

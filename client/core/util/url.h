#pragma once
// Parts of web and server addresses, and the HTTP status probe.

#include <cstdint>
#include <string>
#include <string_view>

namespace orb {

// Trims; drops everything up to and including "://"; drops from the first ":" on; trims again.
std::string HostFromURL(std::string_view text);
// Trims; drops up to and including "://"; the number after the first ":" to the end, or -1 when
// there is no ":" or the rest is not a port number (0..65535).
int32_t PortFromURL(std::string_view text);
// The address with only its scheme and host in lower case: user names, paths, queries and
// fragments keep their case (servers may tell them apart). Without "://" the host is the text up to
// the first "/".
std::string LowerSchemeAndHost(std::string_view url);
// HTTP HEAD request with a fresh client (no redirects followed, no proxy from the environment,
// http and https only). The response's status code, also for error statuses such as 404; -1 when
// no response came (bad address, refused connection, time-out).
int32_t GetURLStatusCode(const std::string& url, long timeoutSeconds = 30);

}  // namespace orb

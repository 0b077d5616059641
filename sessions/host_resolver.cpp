#include "sessions/host_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

std::string CSystemHostResolver::ResolveHostName(std::string_view dotted) const {
    // inet_pton needs a terminated text and accepts only the four-part
    // dotted form, so a malformed text can never turn into some other address.
    char text[INET_ADDRSTRLEN] = {};
    if (dotted.size() >= sizeof text) return {};
    std::memcpy(text, dotted.data(), dotted.size());

    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, text, &address.sin_addr) != 1) return {};

    char host[NI_MAXHOST] = {};
    // NI_NAMEREQD: no name is a failure, never the address echoed back.
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return {};
    return host;
}

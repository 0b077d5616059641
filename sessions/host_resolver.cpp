#include "sessions/host_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

std::string CSystemHostResolver::ResolveHostName(std::string_view address) const {
    // inet_pton needs a terminated text and accepts only the four-part dotted
    // form and the IPv6 forms, so a malformed text can never turn into some
    // other address.
    char text[INET6_ADDRSTRLEN] = {};
    if (address.size() >= sizeof text) return {};
    std::memcpy(text, address.data(), address.size());

    sockaddr_storage storage{};
    socklen_t length = 0;
    if (auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof(sockaddr_in);
    } else if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
               inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof(sockaddr_in6);
    } else {
        return {};
    }

    char host[NI_MAXHOST] = {};
    // NI_NAMEREQD: no name is a failure, never the address echoed back.
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return {};
    return host;
}

// Reverse name resolution of an IPv4 or IPv6 address for the endpoint boxes.
// The Decode window runs lookups away from its own thread, so a resolver keeps
// no state between calls and may be called from any thread.
#pragma once

#include <string>
#include <string_view>

class IHostResolver {
  public:
    virtual ~IHostResolver() = default;
    // The host's name for an address text, dotted IPv4 ("192.168.1.1") or
    // IPv6 ("::1"), or the empty text when the address has no name or the
    // text is no address.
    virtual std::string ResolveHostName(std::string_view address) const = 0;
};

// Asks the system resolver (hosts file, DNS, as the system is configured)
// through getnameinfo, which is safe to call from several threads at once.
// Nothing is cached: every call asks again.
class CSystemHostResolver : public IHostResolver {
  public:
    std::string ResolveHostName(std::string_view address) const override;
};

// The texts of the two endpoint boxes of the Decode window, "host : port",
// and the request that resolves them away from the window's thread. A request
// carries everything it needs (its own reference to the resolver), so it stays
// valid however long a lookup blocks, and a token that lets the window drop
// answers meant for a session that is no longer shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sessions/host_resolver.h"

enum class EndpointSide {
    First,   // the representative's source: the upper box
    Second,  // the representative's destination: the lower box
};

// One side's final text, "%s : %u" with the host's name, or its address text
// when it has none.
struct EndpointAnswer {
    uint64_t token = 0;
    EndpointSide side = EndpointSide::First;
    std::string text;
};

struct Endpoint {
    std::string address;  // "10.0.0.5", "2001:db8::5"
    uint16_t port = 0;
};

// "%s : %u" filled with `name` when it is not empty, else with `address`.
std::string EndpointText(std::string_view name, std::string_view address, uint16_t port);

struct EndpointLookup {
    uint64_t token = 0;
    std::shared_ptr<const IHostResolver> resolver;  // null: every lookup fails
    Endpoint first;
    Endpoint second;

    // Looks up the first side, hands its answer to `deliver`, then does the
    // same for the second side. Blocks while the resolver does; meant for a
    // worker thread, from which `deliver` posts the answer to the window.
    void Run(const std::function<void(EndpointAnswer)>& deliver) const;
};

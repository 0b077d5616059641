#include "sessions/endpoint_lookup.h"

#include <utility>

#include "protocols/text_format.h"

std::string EndpointText(std::string_view name, std::string_view address, uint16_t port) {
    return Format("%s : %u", {name.empty() ? address : name, port});
}

void EndpointLookup::Run(const std::function<void(EndpointAnswer)>& deliver) const {
    for (const auto& [side, endpoint] :
         {std::pair{EndpointSide::First, &first}, std::pair{EndpointSide::Second, &second}}) {
        const std::string name =
            resolver != nullptr ? resolver->ResolveHostName(endpoint->address) : std::string();
        deliver({token, side, EndpointText(name, endpoint->address, endpoint->port)});
    }
}

#include "filter/filter_builder.h"

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <utility>

#include "common/message_texts.h"
#include "filter/field_format.h"

namespace {

bool Filled(const std::string& text) {
    return !text.empty();
}

bool PortValid(const std::string& text) {
    const int32_t port = PortNumber(text.c_str());
    return port >= 0 && port <= kMaxPort;
}

}  // namespace

CFilterForm::CFilterForm(IFilterWindow& window, NeighbourTableSource neighbours)
    : m_window(window), m_neighbours(std::move(neighbours)) {}

bool CFilterForm::IsDottedIPv4(const char* text) {
    return ::IsDottedIPv4(text);
}

bool CFilterForm::IsDashedMac(const char* text) {
    return ::IsDashedMac(text);
}

void CFilterForm::SaveFields() {
    m_window.SaveFields(m_fields);
    PublishDataContains();
}

void CFilterForm::PublishDataContains() {
    // Frames are tested against the text from the moment it is saved, whether or
    // not an Apply follows; an unchanged text keeps readers' cached copies valid.
    if (*m_strDataContains.Load() != m_fields.m_strDataContains)
        m_strDataContains.Set(m_fields.m_strDataContains);
}

void CFilterForm::OnInitDialog() {
    FilterFields shown = m_fields;
    if (shown.m_nProtocol < PROTOCOL_ANY || shown.m_nProtocol > PROTOCOL_ICMP)
        shown.m_nProtocol = PROTOCOL_ANY;
    m_window.LoadFields(shown);
    m_window.SetDestIPEnabled(true);
}

void CFilterForm::AppendClause(const char* format, ...) {
    char clause[kClauseBufferSize];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts the clause at the buffer's end; a clause that long comes only
    // from a field that then fails validation.
    const int written = std::vsnprintf(clause, sizeof clause, format, args);
    va_end(args);
    if (written < 0) clause[0] = '\0';

    if (!m_bFirstClause) m_strPending += " and ";
    m_strPending += clause;
    m_bFirstClause = false;
}

void CFilterForm::BuildExpression(const std::string& gatewayMac) {
    m_strPending.clear();
    m_bFirstClause = true;
    const FilterFields& f = m_fields;
    const char* sourceIP = f.m_strSourceIP.c_str();
    const char* destIP = f.m_strDestIP.c_str();

    if (Filled(f.m_strSourceIP) && Filled(f.m_strDestIP)) {
        if (f.m_bTracking == 1 && f.m_bMonitoring == 1) {
            m_window.ShowMessage("Tracking and monitoring can't be both engaged", kWarningCaption);
        } else if (f.m_bTracking == 1) {
            AppendClause("(src host %s && dst host %s) || (src host %s && dst host %s)", sourceIP,
                         destIP, destIP, sourceIP);
        } else {
            AppendClause("src host %s && dst host %s", sourceIP, destIP);
        }
    } else if (Filled(f.m_strDestIP)) {
        AppendClause("dst host %s", destIP);
    }

    if (Filled(f.m_strGatewayIP)) {
        // Traffic through the gateway: frames to or from its MAC address that are
        // not for or from the gateway itself.
        AppendClause("(ether host %s and not host %s)", gatewayMac.c_str(),
                     f.m_strGatewayIP.c_str());
    }

    if (Filled(f.m_strSourceIP) && !Filled(f.m_strDestIP)) {
        if (f.m_bMonitoring == 1) {
            // `and` and `||` bind alike, from the left: after the gateway clause the
            // alternative must be grouped, or traffic to the host would bypass it.
            if (m_bFirstClause)
                AppendClause("(src host %s) || (dst host %s)", sourceIP, sourceIP);
            else
                AppendClause("((src host %s) || (dst host %s))", sourceIP, sourceIP);
        } else {
            AppendClause("src host %s", sourceIP);
        }
    }

    if (Filled(f.m_strSourcePort))
        AppendClause("src port %d", PortNumber(f.m_strSourcePort.c_str()));
    if (Filled(f.m_strDestPort)) AppendClause("dst port %d", PortNumber(f.m_strDestPort.c_str()));
    if (Filled(f.m_strSourceMac)) AppendClause("ether src %s", f.m_strSourceMac.c_str());
    if (Filled(f.m_strDestMac)) AppendClause("ether dst %s", f.m_strDestMac.c_str());

    switch (f.m_nProtocol) {
        case PROTOCOL_TCP:
            AppendClause("ip proto \\tcp");
            break;
        case PROTOCOL_UDP:
            AppendClause("ip proto \\udp");
            break;
        case PROTOCOL_ICMP:
            AppendClause("ip proto \\icmp");
            break;
        default:
            break;
    }
}

void CFilterForm::OnApplyFilter() {
    SaveFields();
    const bool valid = ValidateFields() == 0;

    // Only a well-formed gateway address is looked up, so a mistyped one is
    // reported as an incorrect filter, not as an unknown neighbour.
    std::optional<std::string> gatewayMac;
    const bool needsGateway = Filled(m_fields.m_strGatewayIP);
    if (valid && needsGateway) {
        uint32_t address = 0;
        ParseDottedIPv4(m_fields.m_strGatewayIP.c_str(), address);
        if (m_neighbours) gatewayMac = FindNeighbourMac(m_neighbours(), address);
    }

    BuildExpression(gatewayMac.value_or(std::string()));

    if (!valid) {
        m_window.ShowMessage("The filter is incorrect", kErrorCaption);
        return;
    }
    if (needsGateway && !gatewayMac) {
        m_window.ShowMessage("The gateway's MAC address is not known to this computer",
                             kErrorCaption);
        return;
    }
    m_strFilter.Set(std::move(m_strPending));
    m_strPending.clear();
    m_window.EndDialog();
}

int CFilterForm::ValidateFields() const {
    const FilterFields& f = m_fields;
    for (const std::string* ip : {&f.m_strSourceIP, &f.m_strDestIP, &f.m_strGatewayIP}) {
        if (Filled(*ip) && !IsDottedIPv4(ip->c_str())) return -1;
    }
    for (const std::string* port : {&f.m_strSourcePort, &f.m_strDestPort}) {
        if (Filled(*port) && !PortValid(*port)) return -1;
    }
    for (const std::string* mac : {&f.m_strSourceMac, &f.m_strDestMac}) {
        if (Filled(*mac) && !IsDashedMac(mac->c_str())) return -1;
    }
    return 0;
}

void CFilterForm::OnTracking() {
    SaveFields();
    if (m_fields.m_bTracking == 1) {
        // The modes exclude each other; the pair of hosts needs Dest IP.
        m_fields.m_bMonitoring = 0;
        m_window.SetDestIPEnabled(true);
    }
    // Either way the fields tracking has no use for are cleared.
    m_fields.m_strGatewayIP.clear();
    m_fields.m_strDestMac.clear();
    m_fields.m_strSourceMac.clear();
    m_fields.m_strSourcePort.clear();
    m_fields.m_strDestPort.clear();
    m_window.LoadFields(m_fields);
}

void CFilterForm::OnMonitoring() {
    SaveFields();
    if (m_fields.m_bMonitoring == 1) {
        if (m_fields.m_bTracking == 1) {
            m_fields.m_bTracking = 0;
            m_window.LoadFields(m_fields);
        }
        // A Dest IP typed earlier stays in the disabled edit and still counts.
        m_window.SetDestIPEnabled(false);
    } else {
        m_window.SetDestIPEnabled(true);
    }
}

void CFilterForm::OnClearAll() {
    m_fields.m_strDestIP.clear();
    m_fields.m_strSourceIP.clear();
    m_fields.m_strGatewayIP.clear();
    m_fields.m_strDestMac.clear();
    m_fields.m_strSourceMac.clear();
    m_fields.m_strSourcePort.clear();
    m_fields.m_strDestPort.clear();
    m_fields.m_strDataContains.clear();
    m_fields.m_nProtocol = PROTOCOL_ANY;
    m_fields.m_bTracking = 0;
    // IP Monitoring keeps its state, and so does the Dest IP edit.
    m_window.LoadFields(m_fields);
    PublishDataContains();
}

#include "filter/filter_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/filter/fake_filter_window.h"

namespace {

constexpr const char* kGatewayTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "10.0.0.254       0x1         0x2         00:0C:29:AB:CD:EF     *        eth0\n"
    "10.0.0.253       0x1         0x0         00:00:00:00:00:00     *        eth0\n";

const ShownMessage kIncorrect{"The filter is incorrect", "Error"};
const ShownMessage kBothModes{"Tracking and monitoring can't be both engaged", "Warning"};
const ShownMessage kGatewayUnknown{"The gateway's MAC address is not known to this computer",
                                   "Error"};

class FilterFormTest : public ::testing::Test {
  protected:
    // Types `fields` into the window and presses Apply; gives the expression in force.
    std::string Apply(const FilterFields& fields) {
        window.controls = fields;
        form.OnApplyFilter();
        return *form.Filter().Load();
    }

    FakeFilterWindow window;
    std::string table = kGatewayTable;
    CFilterForm form{window, [this] { return table; }};
};

FilterFields WithProtocol(int32_t protocol) {
    FilterFields f;
    f.m_nProtocol = protocol;
    return f;
}

}  // namespace

TEST_F(FilterFormTest, StartsEmptyWithNoProtocolChosen) {
    EXPECT_EQ(form.Fields(), FilterFields{});
    EXPECT_EQ(form.Fields().m_nProtocol, -1);
    EXPECT_EQ(*form.Filter().Load(), "");
    EXPECT_EQ(*form.DataContains().Load(), "");
}

TEST_F(FilterFormTest, EmptyFormGivesEmptyExpression) {
    EXPECT_EQ(Apply(WithProtocol(PROTOCOL_ANY)), "");
    EXPECT_EQ(window.closes, 1);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(FilterFormTest, SingleClausesStandAlone) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strSourceIP = "10.0.0.1";
    EXPECT_EQ(Apply(f), "src host 10.0.0.1");

    f = WithProtocol(PROTOCOL_UDP);
    EXPECT_EQ(Apply(f), "ip proto \\udp");
    f = WithProtocol(PROTOCOL_ICMP);
    EXPECT_EQ(Apply(f), "ip proto \\icmp");
    // Out-of-range indexes add nothing.
    EXPECT_EQ(Apply(WithProtocol(7)), "");
}

TEST_F(FilterFormTest, ClausesJoinWithAndInFixedOrder) {
    FilterFields f = WithProtocol(PROTOCOL_TCP);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestPort = "80";
    EXPECT_EQ(Apply(f), "src host 10.0.0.1 and dst port 80 and ip proto \\tcp");

    f.m_strDestIP = "10.0.0.2";
    f.m_strGatewayIP = "10.0.0.254";
    f.m_strSourcePort = "1024";
    f.m_strSourceMac = "00-11-22-33-44-55";
    f.m_strDestMac = "66-77-88-99-AA-bb";
    EXPECT_EQ(Apply(f),
              "src host 10.0.0.1 && dst host 10.0.0.2"
              " and (ether host 00:0c:29:ab:cd:ef and not host 10.0.0.254)"
              " and src port 1024 and dst port 80"
              " and ether src 00-11-22-33-44-55 and ether dst 66-77-88-99-AA-bb"
              " and ip proto \\tcp");
}

TEST_F(FilterFormTest, DestinationHostAloneIgnoresTheModes) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strDestIP = "10.0.0.2";
    f.m_bMonitoring = 1;
    EXPECT_EQ(Apply(f), "dst host 10.0.0.2");
    f.m_bMonitoring = 0;
    f.m_bTracking = 1;
    EXPECT_EQ(Apply(f), "dst host 10.0.0.2");
}

TEST_F(FilterFormTest, TrackingTakesBothDirections) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestIP = "10.0.0.2";
    f.m_bTracking = 1;
    EXPECT_EQ(Apply(f),
              "(src host 10.0.0.1 && dst host 10.0.0.2) || (src host 10.0.0.2 && dst host "
              "10.0.0.1)");
}

TEST_F(FilterFormTest, MonitoringTakesTrafficFromOrToTheSource) {
    FilterFields f = WithProtocol(PROTOCOL_TCP);
    f.m_strSourceIP = "10.0.0.1";
    f.m_bMonitoring = 1;
    EXPECT_EQ(Apply(f), "(src host 10.0.0.1) || (dst host 10.0.0.1) and ip proto \\tcp");

    // With both hosts filled, monitoring has no say.
    f.m_strDestIP = "10.0.0.2";
    EXPECT_EQ(Apply(f), "src host 10.0.0.1 && dst host 10.0.0.2 and ip proto \\tcp");
}

TEST_F(FilterFormTest, MonitoringAfterTheGatewayIsGrouped) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strGatewayIP = "10.0.0.254";
    f.m_bMonitoring = 1;
    EXPECT_EQ(Apply(f),
              "(ether host 00:0c:29:ab:cd:ef and not host 10.0.0.254)"
              " and ((src host 10.0.0.1) || (dst host 10.0.0.1))");
}

TEST_F(FilterFormTest, BothModesWarnAndLeaveOutTheHostPair) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestIP = "10.0.0.2";
    f.m_strDestPort = "53";
    f.m_bTracking = 1;
    f.m_bMonitoring = 1;
    EXPECT_EQ(Apply(f), "dst port 53");
    EXPECT_EQ(window.messages, std::vector<ShownMessage>{kBothModes});
    EXPECT_EQ(window.closes, 1);
}

TEST_F(FilterFormTest, PortsReadLikeAtoi) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strSourcePort = "80x";
    EXPECT_EQ(Apply(f), "src port 80");
    f.m_strSourcePort = "abc";
    EXPECT_EQ(Apply(f), "src port 0");
    f.m_strSourcePort = " +65535";
    EXPECT_EQ(Apply(f), "src port 65535");
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(FilterFormTest, ValidationRejectsEachMalformedField) {
    const auto rejected = [this](void (*spoil)(FilterFields&)) {
        FilterFields f = WithProtocol(PROTOCOL_ANY);
        spoil(f);
        window.controls = f;
        window.messages.clear();
        form.OnApplyFilter();
        return form.ValidateFields() == -1 && window.closes == 0 &&
               window.messages == std::vector<ShownMessage>{kIncorrect};
    };
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strSourceIP = "192.168.1"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strDestIP = "256.1.1.1"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strGatewayIP = "1.2.3.4x"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strSourcePort = "65536"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strDestPort = "-1"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strSourceMac = "00:0c:29:ab:cd:ef"; }));
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strDestMac = "0-0c-29-ab-cd-ef"; }));
    // A clause past the 511-character buffer is cut, never overrun.
    EXPECT_TRUE(rejected([](FilterFields& f) { f.m_strSourceMac = std::string(5000, 'a'); }));
}

TEST_F(FilterFormTest, DataContainsIsNeverChecked) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strDataContains = "%s%n not an address";
    EXPECT_EQ(Apply(f), "");
    EXPECT_EQ(window.closes, 1);
    EXPECT_EQ(*form.DataContains().Load(), "%s%n not an address");
}

TEST_F(FilterFormTest, RejectedApplyKeepsThePreviousExpression) {
    FilterFields f = WithProtocol(PROTOCOL_UDP);
    f.m_strDestIP = "10.0.0.2";
    ASSERT_EQ(Apply(f), "dst host 10.0.0.2 and ip proto \\udp");
    const uint64_t generation = form.Filter().Generation();

    f.m_strDestIP = "10.0.0.3";
    f.m_strDestPort = "70000";
    f.m_strDataContains = "GET /";
    EXPECT_EQ(Apply(f), "dst host 10.0.0.2 and ip proto \\udp");
    EXPECT_EQ(form.Filter().Generation(), generation);
    EXPECT_EQ(window.closes, 1);
    // The fields and the "Data contains" text are saved all the same.
    EXPECT_EQ(form.Fields().m_strDestIP, "10.0.0.3");
    EXPECT_EQ(*form.DataContains().Load(), "GET /");

    f.m_strDestPort = "7000";
    EXPECT_EQ(Apply(f), "dst host 10.0.0.3 and dst port 7000 and ip proto \\udp");
}

TEST_F(FilterFormTest, GatewayNeedsAKnownMacAddress) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strGatewayIP = "010.0.0.254";  // leading zeros name the same neighbour
    EXPECT_EQ(Apply(f), "(ether host 00:0c:29:ab:cd:ef and not host 010.0.0.254)");
    EXPECT_EQ(window.closes, 1);

    f.m_strGatewayIP = "10.0.0.253";  // incomplete entry
    EXPECT_EQ(Apply(f), "(ether host 00:0c:29:ab:cd:ef and not host 010.0.0.254)");
    f.m_strGatewayIP = "10.0.0.9";  // no entry
    Apply(f);
    EXPECT_EQ(window.messages, (std::vector<ShownMessage>{kGatewayUnknown, kGatewayUnknown}));
    EXPECT_EQ(window.closes, 1);

    // The table is read at each Apply: once the neighbour is known, Apply passes.
    table += "10.0.0.9         0x1         0x2         02:00:00:00:00:09     *        eth0\n";
    EXPECT_EQ(Apply(f), "(ether host 02:00:00:00:00:09 and not host 10.0.0.9)");
    EXPECT_EQ(window.closes, 2);
}

TEST_F(FilterFormTest, MalformedFieldsWinOverAnUnknownGateway) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strGatewayIP = "10.0.0.300";
    Apply(f);
    EXPECT_EQ(window.messages, std::vector<ShownMessage>{kIncorrect});

    window.messages.clear();
    f.m_strGatewayIP = "10.0.0.9";
    f.m_strSourceMac = "bad";
    Apply(f);
    EXPECT_EQ(window.messages, std::vector<ShownMessage>{kIncorrect});
}

TEST_F(FilterFormTest, InitDialogShowsAnyForNoProtocolButKeepsTheMember) {
    window.destIPEnabled = false;
    form.OnInitDialog();
    EXPECT_EQ(window.controls.m_nProtocol, PROTOCOL_ANY);
    EXPECT_EQ(form.Fields().m_nProtocol, PROTOCOL_NONE);
    EXPECT_TRUE(window.destIPEnabled);
    form.OnApplyFilter();
    EXPECT_EQ(form.Fields().m_nProtocol, PROTOCOL_ANY);
}

TEST_F(FilterFormTest, ReopeningShowsTheLastAppliedValues) {
    FilterFields f = WithProtocol(PROTOCOL_TCP);
    f.m_strSourceIP = "10.0.0.1";
    f.m_bMonitoring = 1;
    const std::string applied = Apply(f);
    window.controls = FilterFields{};  // a new window
    form.OnInitDialog();
    EXPECT_EQ(window.controls, f);
    EXPECT_EQ(*form.Filter().Load(), applied);
}

TEST_F(FilterFormTest, TrackingClearsGatewayMacsAndPortsEitherWay) {
    FilterFields f = WithProtocol(PROTOCOL_UDP);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestIP = "10.0.0.2";
    f.m_strDataContains = "abc";
    f.m_strGatewayIP = "10.0.0.254";
    f.m_strSourceMac = "00-11-22-33-44-55";
    f.m_strDestMac = "00-11-22-33-44-66";
    f.m_strSourcePort = "1";
    f.m_strDestPort = "2";
    f.m_bMonitoring = 1;
    f.m_bTracking = 1;  // the click checked it
    window.controls = f;
    window.destIPEnabled = false;
    form.OnTracking();

    FilterFields expected = WithProtocol(PROTOCOL_UDP);
    expected.m_strSourceIP = "10.0.0.1";
    expected.m_strDestIP = "10.0.0.2";
    expected.m_strDataContains = "abc";
    expected.m_bTracking = 1;
    EXPECT_EQ(window.controls, expected);
    EXPECT_EQ(form.Fields(), expected);
    EXPECT_TRUE(window.destIPEnabled);
    EXPECT_EQ(*form.DataContains().Load(), "abc");

    window.controls.m_strSourcePort = "80";
    window.controls.m_bTracking = 0;  // unchecked
    form.OnTracking();
    EXPECT_EQ(window.controls.m_strSourcePort, "");
    EXPECT_EQ(window.controls.m_bTracking, 0);
    EXPECT_EQ(window.controls.m_strSourceIP, "10.0.0.1");
}

TEST_F(FilterFormTest, MonitoringDisablesDestIPAndUnchecksTracking) {
    FilterFields f = WithProtocol(PROTOCOL_ANY);
    f.m_strDestIP = "10.0.0.2";
    f.m_strSourcePort = "80";
    f.m_bTracking = 1;
    f.m_bMonitoring = 1;
    window.controls = f;
    form.OnMonitoring();
    EXPECT_FALSE(window.destIPEnabled);
    EXPECT_EQ(window.controls.m_bTracking, 0);
    EXPECT_EQ(form.Fields().m_bTracking, 0);
    // Nothing is cleared; the disabled Dest IP still counts.
    EXPECT_EQ(form.Fields().m_strDestIP, "10.0.0.2");
    EXPECT_EQ(form.Fields().m_strSourcePort, "80");

    // Tracking on again re-enables Dest IP and unchecks monitoring.
    window.controls.m_bTracking = 1;
    form.OnTracking();
    EXPECT_TRUE(window.destIPEnabled);
    EXPECT_EQ(window.controls.m_bMonitoring, 0);

    window.controls.m_bTracking = 0;
    window.controls.m_bMonitoring = 1;
    form.OnMonitoring();
    EXPECT_FALSE(window.destIPEnabled);
    window.controls.m_bMonitoring = 0;
    form.OnMonitoring();
    EXPECT_TRUE(window.destIPEnabled);
}

TEST_F(FilterFormTest, ModeClicksStoreDataContainsEvenWithoutApply) {
    window.controls.m_strDataContains = "password";
    window.controls.m_bMonitoring = 1;
    form.OnMonitoring();
    // Escape now: no Apply, but intake already tests for the new text.
    EXPECT_EQ(*form.DataContains().Load(), "password");
    EXPECT_EQ(*form.Filter().Load(), "");
}

TEST_F(FilterFormTest, ClearAllEmptiesFieldsButKeepsMonitoringAndFilter) {
    FilterFields f = WithProtocol(PROTOCOL_ICMP);
    f.m_strSourceIP = "10.0.0.1";
    f.m_strDestIP = "10.0.0.2";
    f.m_strGatewayIP = "10.0.0.254";
    f.m_strSourceMac = "00-11-22-33-44-55";
    f.m_strDestMac = "00-11-22-33-44-66";
    f.m_strSourcePort = "1";
    f.m_strDestPort = "2";
    f.m_strDataContains = "abc";
    const std::string applied = Apply(f);
    ASSERT_EQ(window.closes, 1);

    window.controls.m_bMonitoring = 1;
    form.OnMonitoring();
    ASSERT_FALSE(window.destIPEnabled);
    form.OnClearAll();

    FilterFields expected = WithProtocol(PROTOCOL_ANY);
    expected.m_bMonitoring = 1;
    EXPECT_EQ(window.controls, expected);
    EXPECT_EQ(form.Fields(), expected);
    EXPECT_FALSE(window.destIPEnabled);
    EXPECT_EQ(*form.DataContains().Load(), "");
    EXPECT_EQ(*form.Filter().Load(), applied);
}

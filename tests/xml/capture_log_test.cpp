#include "xml/capture_log.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/xml/xml_test_frames.h"
#include "tools/capture_gen/generator.h"
#include "xml/packet_document.h"

namespace fs = std::filesystem;

namespace {

using xml_test::Bytes;

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

std::string Ethernet(const char* src, const char* type) {
    return std::string("<Ethernet><MAC_src desc=\"MAC Source address\">") + src +
           "</MAC_src><MAC_dst desc=\"MAC Destination address\">02-00-00-00-00-02</MAC_dst>"
           "<Type>" +
           type + "</Type></Ethernet>";
}

std::string Header() {
    return std::string(kDeclaration) + std::string(kProductBanner) + std::string(kReleaseCredit);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

class CaptureLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("tapwatch-log-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

TEST(CaptureLogTexts, CommentsAreSingleLineCommentsNamingTheProduct) {
    for (std::string_view comment : {kProductBanner, kReleaseCredit}) {
        EXPECT_TRUE(comment.starts_with("<!--")) << comment;
        EXPECT_TRUE(comment.ends_with("-->")) << comment;
        EXPECT_EQ(comment.find("-->"), comment.size() - 3) << comment;
        EXPECT_EQ(comment.find_first_of("\r\n"), std::string_view::npos) << comment;
    }
    EXPECT_NE(kProductBanner.find("Tapwatch"), std::string_view::npos);
    EXPECT_NE(kProductBanner.find("1.1"), std::string_view::npos);
    EXPECT_EQ(kXmlDeclaration, kDeclaration);
}

TEST_F(CaptureLogTest, OnePacketIsOneLineExactly) {
    const fs::path path = m_dir / "one.xml";
    ASSERT_EQ(SaveCaptureLog(path, {xml_test::Stored(xml_test::OpaqueFrame(0x01, 0x88B5))}),
              SAVE_OK);
    EXPECT_EQ(ReadFile(path), Header() + "<Packets><Packet>" +
                                  Ethernet("02-00-00-00-00-01", "0x88b5") + "</Packet></Packets>");
}

TEST_F(CaptureLogTest, EveryPacketHoldsOnlyItsOwnLayersInStoreOrder) {
    const fs::path path = m_dir / "three.xml";
    const std::vector<StoredPacket> packets = {
        xml_test::Stored(xml_test::OpaqueFrame(0x01, 0x88B5)),
        xml_test::Stored(xml_test::OpaqueFrame(0x0A, 0x88B6)),
        xml_test::Stored(xml_test::OpaqueFrame(0xFF, 0x9000)),
    };
    ASSERT_EQ(SaveCaptureLog(path, packets), SAVE_OK);
    EXPECT_EQ(ReadFile(path), Header() + "<Packets><Packet>" +
                                  Ethernet("02-00-00-00-00-01", "0x88b5") + "</Packet><Packet>" +
                                  Ethernet("02-00-00-00-00-0A", "0x88b6") + "</Packet><Packet>" +
                                  Ethernet("02-00-00-00-00-FF", "0x9000") + "</Packet></Packets>");
}

TEST_F(CaptureLogTest, FormatCharactersInThePayloadAreWrittenUnchanged) {
    const fs::path path = m_dir / "percent.xml";
    ASSERT_EQ(SaveCaptureLog(path, {xml_test::Stored(xml_test::TcpFrame("%s%d%n%%"))}), SAVE_OK);
    const std::string log = ReadFile(path);
    EXPECT_TRUE(
        log.ends_with("<Data><Hexa desc=\"Hex data\">25732564256E2525</Hexa>"
                      "<Raw desc=\"Raw data\">%s%d%n%%</Raw></Data></Packet></Packets>"))
        << log;
    EXPECT_EQ(log.find_first_of("\r\n"), std::string::npos);
}

TEST_F(CaptureLogTest, SavingTwiceReplacesTheFileWithTheSameBytes) {
    const fs::path path = m_dir / "twice.xml";
    const std::vector<StoredPacket> packets = {xml_test::Stored(xml_test::TcpFrame("one")),
                                               xml_test::Stored(xml_test::TcpFrame("two"))};
    WriteFile(path, std::string(100000, 'x'));  // longer than the log: no tail may remain
    ASSERT_EQ(SaveCaptureLog(path, packets), SAVE_OK);
    const std::string first = ReadFile(path);
    ASSERT_EQ(SaveCaptureLog(path, packets), SAVE_OK);
    EXPECT_EQ(ReadFile(path), first);
    EXPECT_TRUE(first.starts_with(kDeclaration));
    EXPECT_TRUE(first.ends_with("</Packets>"));
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{"twice.xml"});
}

TEST_F(CaptureLogTest, PathInAMissingDirectoryFailsAndCreatesNothing) {
    const fs::path path = m_dir / "missing" / "log.xml";
    EXPECT_EQ(SaveCaptureLog(path, {xml_test::Stored(xml_test::TcpFrame("x"))}), SAVE_OPEN_FAILED);
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    EXPECT_TRUE(Entries(m_dir).empty());
}

TEST_F(CaptureLogTest, CancelledSaveLeavesTheOldFileAndNoPartialFile) {
    const fs::path path = m_dir / "cancel.xml";
    WriteFile(path, "previous log");
    SaveControl control;
    control.cancel = true;
    std::vector<StoredPacket> packets(50, xml_test::Stored(xml_test::TcpFrame("payload")));
    EXPECT_EQ(SaveCaptureLog(path, packets, &control), SAVE_CANCELLED);
    EXPECT_EQ(ReadFile(path), "previous log");
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{"cancel.xml"});
}

TEST_F(CaptureLogTest, ProgressCountsEveryPacketWritten) {
    SaveControl control;
    std::vector<StoredPacket> packets(25, xml_test::Stored(xml_test::TcpFrame("p")));
    ASSERT_EQ(SaveCaptureLog(m_dir / "count.xml", packets, &control), SAVE_OK);
    EXPECT_EQ(control.packetsWritten.load(), packets.size());
}

TEST_F(CaptureLogTest, FullFilesystemFailsAndLeavesThePreviousFile) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const fs::path mountPoint = m_dir / "small";
    fs::create_directories(mountPoint);
    if (mount("tapwatch-test", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const fs::path path = mountPoint / "log.xml";
    const std::string previous(4096, 'p');
    WriteFile(path, previous);
    // About 400 kB of log for a 64 kB filesystem.
    const std::vector<StoredPacket> packets(
        150, xml_test::Stored(xml_test::TcpFrame(std::string(1200, 'z'))));
    const int result = SaveCaptureLog(path, packets);
    const std::string after = ReadFile(path);
    const std::vector<std::string> entries = Entries(mountPoint);
    umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_EQ(result, SAVE_WRITE_FAILED);
    EXPECT_EQ(after, previous);
    EXPECT_EQ(entries, std::vector<std::string>{"log.xml"});
}

TEST_F(CaptureLogTest, LogOfAMixedCaptureIsWellFormedWithOnePacketPerRow) {
    std::vector<StoredPacket> packets;
    for (const auto& frame : capture_gen::GenerateFrames(capture_gen::CaptureKind::Mix, 3000, 11)) {
        packets.push_back(xml_test::Stored(frame.data, 0));
    }
    const fs::path path = m_dir / "mix.xml";
    ASSERT_EQ(SaveCaptureLog(path, packets), SAVE_OK);
    const std::string log = ReadFile(path);
    EXPECT_EQ(log.find_first_of("\r\n"), std::string::npos);

    xmlDocPtr doc =
        xmlReadMemory(log.data(), static_cast<int>(log.size()), "mix.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    ASSERT_NE(doc, nullptr) << "the log is not well-formed XML";
    const xmlNode* root = xmlDocGetRootElement(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "Packets");
    size_t count = 0;
    bool allPackets = true;
    for (const xmlNode* n = root->children; n != nullptr; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        ++count;
        allPackets =
            allPackets && std::strcmp(reinterpret_cast<const char*>(n->name), "Packet") == 0;
    }
    xmlFreeDoc(doc);
    EXPECT_EQ(count, packets.size());
    EXPECT_TRUE(allPackets);
}

}  // namespace

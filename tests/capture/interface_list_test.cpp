// The text of an interface combo box entry.
#include "capture/interface_list.h"

#include <gtest/gtest.h>

namespace {

TEST(InterfaceEntryTextTest, NamesTheInterfaceWithItsDescriptionAfterIt) {
    const InterfaceEntry any{"any", "Pseudo-device that captures on all interfaces"};
    const std::string whole = "[1] any (Pseudo-device that captures on all interfaces)";
    EXPECT_EQ(InterfaceEntryWholeText(1, any), whole);
    EXPECT_EQ(InterfaceEntryText(1, any), whole.substr(0, kInterfaceEntryLimit));
    EXPECT_EQ(InterfaceEntryText(4, {"", "A card without a name"}), "[4] A card without a name");
}

TEST(InterfaceEntryTextTest, ShowsTheNameWithoutADescription) {
    EXPECT_EQ(InterfaceEntryText(2, {"enp3s0", ""}), "[2] enp3s0");
}

TEST(InterfaceEntryTextTest, SaysNoDescriptionOnlyWhenNeitherExists) {
    EXPECT_EQ(InterfaceEntryText(2, {"", ""}), "[2] No description");
}

TEST(InterfaceEntryTextTest, KeepsTheFirst49Characters) {
    const std::string description(80, 'd');
    const std::string text = InterfaceEntryText(12, {"x", description});
    ASSERT_EQ(text.size(), kInterfaceEntryLimit);
    EXPECT_EQ(text, "[12] x (" + std::string(kInterfaceEntryLimit - 8, 'd'));
    // Exactly at the limit nothing is lost.
    const std::string fits(kInterfaceEntryLimit - 4, 'n');
    EXPECT_EQ(InterfaceEntryText(3, {fits, ""}), "[3] " + fits);
}

}  // namespace

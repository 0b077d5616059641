// The text of an interface combo box entry.
#include <gtest/gtest.h>

#include "capture/interface_list.h"

namespace {

TEST(InterfaceEntryTextTest, ShowsTheDescriptionWhenThereIsOne) {
    EXPECT_EQ(InterfaceEntryText(1, {"any", "Pseudo-device that captures on all interfaces"}),
              "[1] Pseudo-device that captures on all interfaces");
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
    EXPECT_EQ(text, "[12] " + std::string(kInterfaceEntryLimit - 5, 'd'));
    // Exactly at the limit nothing is lost.
    const std::string fits(kInterfaceEntryLimit - 4, 'n');
    EXPECT_EQ(InterfaceEntryText(3, {fits, ""}), "[3] " + fits);
}

}  // namespace

#include "tester/KeyBindings.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "common/MessageTable.h"
#include "common/ProgramMessages.h"
#include "framework/DeviceObjectData.h"

TEST(KeyBindingsTest, EveryRowHasItsTextsInBothLanguagesAndEveryKeyOneAction) {
    std::set<std::pair<std::uint32_t, unsigned>> keys;
    for (const KeyBindings::Binding& binding : KeyBindings::Table()) {
        for (bool japanese : {false, true}) {
            EXPECT_NE(ProgramMessageTable().Find(binding.keyTextId, japanese), nullptr) << binding.keyTextId;
            EXPECT_NE(ProgramMessageTable().Find(binding.descriptionId, japanese), nullptr)
                << binding.descriptionId;
        }
        if (binding.action == KeyBindings::Action::kMouse) {
            EXPECT_EQ(binding.key, 0u);
            continue;
        }
        // a key with its modifiers does one thing, and the lookup finds that row
        EXPECT_TRUE(keys.insert({binding.key, binding.modifiers}).second) << binding.keyTextId;
        EXPECT_EQ(KeyBindings::Find(binding.key, binding.modifiers), &binding);
    }
    // a key is found only with its own modifiers
    ASSERT_NE(KeyBindings::Find(DIK_F12, KeyBindings::kNoModifier), nullptr);
    EXPECT_EQ(KeyBindings::Find(DIK_F12, KeyBindings::kControl), nullptr);
    EXPECT_EQ(KeyBindings::Find(0, KeyBindings::kNoModifier), nullptr);
}

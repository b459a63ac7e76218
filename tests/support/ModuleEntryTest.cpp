#include "support/ModuleEntry.h"

#include <gtest/gtest.h>

#include <thread>

namespace fi {
namespace {

TEST(ModuleEntry, MarksModuleCodeAndSuspendsItForCallsToTheHost) {
    SetX87ControlWord(0x027F);
    EXPECT_FALSE(TModuleEntry::Active());
    std::uint16_t InModule = 0, InHost = 0, BackInModule = 0;
    bool ActiveInHost = true, ActiveNested = false, OtherThread = true;
    {
        const TModuleEntry Entry;
        InModule = X87ControlWord();
        {
            const TForeignCall Host;
            InHost = X87ControlWord();
            ActiveInHost = TModuleEntry::Active();
            // The host calls into the module again from its callback.
            const TModuleEntry Reentry;
            ActiveNested = TModuleEntry::Active();
        }
        BackInModule = X87ControlWord();
        std::thread([&] { OtherThread = TModuleEntry::Active(); }).join();
    }
    const std::uint16_t After = X87ControlWord();
    LoadDefaultFloatEnvironment();
    EXPECT_EQ(InModule, DefaultX87ControlWord);
    EXPECT_EQ(InHost, 0x027F);
    EXPECT_FALSE(ActiveInHost);
    EXPECT_TRUE(ActiveNested);
    EXPECT_EQ(BackInModule, DefaultX87ControlWord);
    EXPECT_FALSE(OtherThread);
    EXPECT_EQ(After, 0x027F);
    EXPECT_FALSE(TModuleEntry::Active());
}

} // namespace
} // namespace fi

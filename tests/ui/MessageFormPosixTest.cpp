// The headless layer: without queued actions a modal form closes at once
// with its default result.
#include <gtest/gtest.h>

#include "ui/MessageForm.h"

namespace fi {
namespace {

TEST(HeadlessModal, DefaultResultWhenNobodyActs) {
    std::function<void(TForm&)> Left;
    while (TakeModalAction(Left)) {
    }
    EXPECT_EQ(ShowStyledMessage("Only 8 bit grayscale and 24 bit images supported", mtInformation, mbOK, 0), mrOk);
    EXPECT_EQ(ShowStyledMessage("Sure?", mtConfirmation, mbYes | mbNo, 0), mrYes);
    EXPECT_EQ(ShowCustomMessage("x", mtError, {"A", "B"}, 2), 1);
    TForm Plain;
    EXPECT_EQ(Plain.ShowModal(), mrCancel); // no default button
}

TEST(HeadlessModal, NoRegistryAndNoStyledCaptionHere) {
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::CurrentUser), std::nullopt);
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::LocalMachine), std::nullopt);
}

} // namespace
} // namespace fi

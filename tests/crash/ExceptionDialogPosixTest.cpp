// Headless routes of the handler that end in the system's message box.
#include <gtest/gtest.h>

#include "crash/ExceptionDialog.h"
#include "crash/SendMail.h"
#include "ui/MessageForm.h"

namespace fi {
namespace {

TEST(HeadlessMail, NoMailSystemEndsInTheExceptionBox) {
    TOpenStringList Fields;
    Fields.Add("to=x@example.org");
    EXPECT_THROW(SendMail(0, Fields), Exception);

    ShownSystemMessages().clear();
    QueueModalAction([](TForm& Form) { Form.FindButton("Send bug report")->Click(); });
    HandleApplicationException(nullptr, EAccessViolation("Access violation at address 0047A000 in module 'x'. "
                                                          "Write of address 00001000",
                                                          0x47A000));
    ASSERT_EQ(ShownSystemMessages().size(), 1u);
    EXPECT_EQ(ShownSystemMessages()[0], "Exception");
}

} // namespace
} // namespace fi

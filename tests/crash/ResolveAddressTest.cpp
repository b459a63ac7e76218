#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "crash/ExceptionDialog.h"

namespace fi {
namespace {

const char* const SampleMap =
    "\n"
    " Start         Length     Name                   Class\n"
    " 0001:00000000 00001000H .text                   CODE\n"
    "\n"
    "Detailed map of segments\n"
    "\n"
    " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\n"
    " 0001:00000100 00000200 C=CODE     S=.text    G=(none)   M=StyleForm ACBP=A9\n"
    " 0001:00000300 00000100 C=CODE     S=.text    G=(none)   M=MessageForm ACBP=A9\n"
    " 0001:00000400 00000010 C=CODE     S=.text    G=(none)   M=Last ACBP=A9\n"
    "\n"
    "\n"
    "  Address         Publics by Name\n"
    "\n"
    " 0001:00000310       MessageForm.ShowStyledMessage\n"
    " 0001:00000120       StyleForm.TStyleForm.Create\n"
    " 0001:00000200       StyleForm.TStyleForm.Paint\n"
    "\n"
    "\n"
    "  Address         Publics by Value\n"
    "\n"
    " 0001:00000120       StyleForm.TStyleForm.Create\n"
    " 0001:00000200       StyleForm.TStyleForm.Paint\n"
    " 0001:00000310       MessageForm.ShowStyledMessage\n"
    "\n"
    "\n"
    "Line numbers for StyleForm(StyleForm.pas) segment .text\n"
    "\n"
    "   101 0001:00000120   102 0001:00000130   140 0001:00000200   141 0001:00000210\n"
    "\n"
    "Line numbers for MessageForm(MessageForm.pas) segment .text\n"
    "\n"
    "    20 0001:00000310\n"
    "\n"
    "Bound resource files\n"
    "\n";

class ResolveAddressTest : public testing::Test {
protected:
    std::string Write(const std::string& Text) {
        std::ofstream Out(FileName, std::ios::binary);
        Out << Text;
        return FileName;
    }
    void TearDown() override { std::remove(FileName.c_str()); }
    std::string FileName = "resolve-address-test.map";
};

TEST_F(ResolveAddressTest, ResolvesUnitSymbolAndLine) {
    const std::string Map = Write(SampleMap);
    EXPECT_EQ(ResolveAddress(0x401205, Map), "00401205, StyleForm, StyleForm.TStyleForm.Paint, StyleForm line 140");
    EXPECT_EQ(ResolveAddress(0x401312, Map),
              "00401312, MessageForm, MessageForm.ShowStyledMessage, MessageForm line 20");
    // Exactly at an entry: distance 0 wins over the entry before.
    EXPECT_EQ(ResolveAddress(0x401130, Map), "00401130, StyleForm, StyleForm.TStyleForm.Create, StyleForm line 102");
}

TEST_F(ResolveAddressTest, NoSymbolBelowTheFirstPublic) {
    const std::string Map = Write(SampleMap);
    EXPECT_EQ(ResolveAddress(0x401050, Map), "00401050, System");
}

TEST_F(ResolveAddressTest, LineOnlyWithin1024BytesOfAnEntry) {
    const std::string Map = Write(SampleMap);
    // The last unit's start and beyond has no unit of its own.
    EXPECT_EQ(ResolveAddress(0x401310 + 1023, Map),
              "0040170F, MessageForm.ShowStyledMessage, MessageForm line 20");
    EXPECT_EQ(ResolveAddress(0x401310 + 1024, Map), "00401710, MessageForm.ShowStyledMessage");
}

TEST_F(ResolveAddressTest, MissingMapGivesTheBareAddress) {
    EXPECT_EQ(ResolveAddress(0x40ABCD, "no-such-file.map"), "0040ABCD");
    EXPECT_EQ(ResolveAddress(0x1, "no-such-file.map"), "00000001");
}

TEST_F(ResolveAddressTest, TruncatedMapKeepsWhatWasResolved) {
    const std::string Full = SampleMap;
    // Cut before the publics by value: the unit is known, nothing else.
    Write(Full.substr(0, Full.find("  Address         Publics by Value")));
    EXPECT_EQ(ResolveAddress(0x401205, FileName), "00401205, StyleForm");
    // Cut inside the line numbers: the entries read so far still count.
    Write(Full.substr(0, Full.find("Line numbers for MessageForm")));
    EXPECT_EQ(ResolveAddress(0x401205, FileName), "00401205, StyleForm, StyleForm.TStyleForm.Paint, StyleForm line 140");
    EXPECT_EQ(ResolveAddress(0x401312, FileName),
              "00401312, MessageForm, MessageForm.ShowStyledMessage, StyleForm line 141");
    // Cut inside the segments: nothing but the address.
    Write(Full.substr(0, Full.find(" 0001:00000300 00000100")));
    EXPECT_EQ(ResolveAddress(0x401205, FileName), "00401205");
}

TEST_F(ResolveAddressTest, MalformedFieldStopsQuietly) {
    std::string Broken = SampleMap;
    Broken.replace(Broken.find("   140 0001:00000200"), 20, "   140 0001:0000XY00");
    Write(Broken);
    EXPECT_EQ(ResolveAddress(0x401205, FileName), "00401205, StyleForm, StyleForm.TStyleForm.Paint");
}

TEST_F(ResolveAddressTest, FormatTraceResolvesEachAddressUpToTheEnd) {
    const TCodeAddress Trace[] = {0x1234, 0xABCDEF, 0, 0x5555};
    // Nothing resolves these against this program's own map.
    const std::string Text = FormatTrace(Trace, "|");
    EXPECT_EQ(Text.substr(0, 9), "|00001234");
    EXPECT_NE(Text.find("|00ABCDEF"), std::string::npos);
    EXPECT_EQ(Text.find("00005555"), std::string::npos);
    const TCodeAddress Empty[] = {0};
    EXPECT_EQ(FormatTrace(Empty, "\n\r"), "");
}

// Resolution against the map written beside this test program.
__attribute__((noinline)) int MarkedFunction(int X) { return X * 3 + 1; }
constexpr int MarkedLine = __LINE__ - 1;

TEST(OwnMapFile, ResolvesThisProgramsUnitSymbolAndLine) {
    volatile int Keep = MarkedFunction(2);
    (void)Keep;
    const auto Address = reinterpret_cast<TCodeAddress>(&MarkedFunction);
    const std::string Text = ResolveAddress(Address);
    EXPECT_EQ(Text.find(HexAddress(Address) + ", ResolveAddressTest, "), 0u) << Text;
    EXPECT_NE(Text.find("MarkedFunction(int)"), std::string::npos) << Text;
    EXPECT_NE(Text.find(", ResolveAddressTest line " + std::to_string(MarkedLine)), std::string::npos) << Text;
}

} // namespace
} // namespace fi

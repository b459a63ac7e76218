#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/StringLists.h"

namespace fi {
namespace {

std::vector<std::string> Strings(const TBaseStringList& List) {
    std::vector<std::string> Result;
    for (std::int32_t i = 0; i < List.Count(); ++i) Result.push_back(List.Get(i));
    return Result;
}

template <class F>
std::string ErrorOf(F&& Action) {
    try {
        Action();
    } catch (const EStringListError& E) {
        return E.what();
    }
    return "(no error)";
}

// Counts its destructions, to watch an owning list.
class TCounted : public TListObject {
public:
    explicit TCounted(int& ACounter) : Counter(ACounter) {}
    ~TCounted() override { ++Counter; }

private:
    int& Counter;
};

TEST(StringListsTest, SortedAddFollowsTheDuplicateRule) {
    TOpenStringList List;
    List.SetSorted(true);
    EXPECT_EQ(List.Add("b"), 0);
    EXPECT_EQ(List.Add("a"), 0);
    EXPECT_EQ(List.Add("b"), 1); // ignored, returns the existing position
    EXPECT_EQ(Strings(List), (std::vector<std::string>{"a", "b"}));

    List.Duplicates = TDuplicates::dupError;
    EXPECT_EQ(ErrorOf([&] { List.Add("a"); }), "String list does not allow duplicates");
    EXPECT_EQ(List.Count(), 2);

    List.Duplicates = TDuplicates::dupAccept;
    List.Add("b");
    List.Add("a");
    EXPECT_EQ(Strings(List), (std::vector<std::string>{"a", "a", "b", "b"}));
    // With duplicates accepted the search finds the first of equal entries.
    std::int32_t Index = -1;
    EXPECT_TRUE(List.FindIndex("b", Index));
    EXPECT_EQ(Index, 2);
    EXPECT_FALSE(List.FindIndex("ab", Index));
    EXPECT_EQ(Index, 2);
}

TEST(StringListsTest, OrdinalComparisonPutsUpperCaseAndPrefixesFirst) {
    TOpenStringList List;
    for (const char* S : {"kb", "Mb", "k", "_x", "num.solve", "num.Guess", "\xe9t\xe9"}) List.Add(S);
    List.SetSorted(true);
    EXPECT_EQ(Strings(List), (std::vector<std::string>{"Mb", "_x", "k", "kb", "num.Guess", "num.solve", "\xe9t\xe9"}));
    EXPECT_EQ(List.IndexOf("kb"), 3);
    EXPECT_EQ(List.IndexOf("KB"), -1);
}

TEST(StringListsTest, SortingKeepsStringsWithTheirObjects) {
    int Freed = 0;
    TStringObjectList List;
    std::vector<TListObject*> Objects;
    // Enough entries, in an order with runs and repeats, to exercise the
    // partitioning and the capacity growth.
    for (int i = 0; i < 200; ++i) {
        const std::string Key = std::to_string((i * 37) % 101);
        Objects.push_back(new TCounted(Freed));
        List.AddObject(Key, Objects.back());
    }
    EXPECT_GE(List.Capacity(), 200);
    List.SetSorted(true);
    EXPECT_TRUE(List.Sorted());
    for (std::int32_t i = 1; i < List.Count(); ++i) EXPECT_LE(List.Get(i - 1), List.Get(i));
    for (int i = 0; i < 200; ++i) {
        const std::string Key = std::to_string((i * 37) % 101);
        bool Found = false;
        for (std::int32_t j = 0; j < List.Count(); ++j) Found |= List.Get(j) == Key && List.GetObject(j) == Objects[std::size_t(i)];
        EXPECT_TRUE(Found) << Key;
    }
    EXPECT_EQ(Freed, 0);
}

TEST(StringListsTest, BoundsAndSortedRestrictions) {
    TOpenStringList List;
    List.Add("x");
    List.Add("y");
    List.Add("z");
    EXPECT_EQ(ErrorOf([&] { List.Get(5); }), "List index out of bounds (5)");
    EXPECT_EQ(ErrorOf([&] { List.GetObject(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ErrorOf([&] { List.Delete(3); }), "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf([&] { List.Exchange(0, 3); }), "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf([&] { List.Insert(4, "w"); }), "List index out of bounds (4)");
    List.Insert(3, "end"); // inserting at count appends
    EXPECT_EQ(List.Get(3), "end");

    List.SetSorted(true);
    EXPECT_EQ(ErrorOf([&] { List.Insert(0, "a"); }), "Operation not allowed on sorted string list");
    EXPECT_EQ(ErrorOf([&] { List.Put(0, "a"); }), "Operation not allowed on sorted string list");
    List.Exchange(0, 1); // allowed on a sorted list
    EXPECT_EQ(List.Get(0), "x");
}

TEST(StringListsTest, ObjectListFreesOnDeleteClearAndDestruction) {
    int Freed = 0;
    auto Kept = std::make_unique<TCounted>(Freed);
    {
        TStringObjectList List;
        List.AddObject("a", new TCounted(Freed));
        List.AddObject("b", new TCounted(Freed));
        List.AddObject("c", new TCounted(Freed));
        List.Delete(1);
        EXPECT_EQ(Freed, 1);
        // Replacing an object leaves the old one to the caller.
        TListObject* Old = List.GetObject(0);
        List.PutObject(0, Kept.get());
        delete Old;
        EXPECT_EQ(Freed, 2);
        List.PutObject(0, nullptr);
        List.SetEntryCount(1); // drops "c" through Delete
        EXPECT_EQ(Freed, 3);
        List.AddObject("d", new TCounted(Freed));
    }
    EXPECT_EQ(Freed, 4);
}

TEST(StringListsTest, EntryCountClearAndIntegers) {
    TStringIntegerList List;
    List.SetEntryCount(3);
    EXPECT_EQ(Strings(List), (std::vector<std::string>{"", "", ""}));
    List.Clear();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(List.Capacity(), 0);

    EXPECT_EQ(List.AddValue("System", 0x1000), 0);
    EXPECT_EQ(List.AddValue("Main", -5), 1);
    EXPECT_EQ(List.GetValue(0), 0x1000);
    EXPECT_EQ(List.GetValue(1), -5);
    EXPECT_EQ(ErrorOf([&] { List.GetValue(2); }), "List index out of bounds (2)");
}

TEST(StringListsTest, NameValuePairsAndText) {
    TOpenStringList List;
    List.SetText("to=someone@example.org\r\nsubject=Report\nbody=a=b\rattachment0=x.txt");
    EXPECT_EQ(List.Count(), 4);
    EXPECT_EQ(List.Value("subject"), "Report");
    EXPECT_EQ(List.Value("body"), "a=b");
    EXPECT_EQ(List.Value("attachment1"), "");
    EXPECT_EQ(List.IndexOfName("attachment0"), 3);
    EXPECT_EQ(List.IndexOfName("to=someone"), -1);
    EXPECT_EQ(List.Text(), "to=someone@example.org\r\nsubject=Report\r\nbody=a=b\r\nattachment0=x.txt\r\n");
}

} // namespace
} // namespace fi

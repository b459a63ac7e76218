#pragma once
// String lists with one slot per entry: an object reference (optionally owned
// by the list) or a 32-bit integer. The sorted form is the evaluator's symbol
// table; the integer form holds the crash reporter's segment starts.
#include <cstdint>
#include <string>
#include <vector>

#include "support/Exceptions.h"

namespace fi {

class EStringListError : public Exception {
public:
    explicit EStringListError(const std::string& Message) : Exception(Message) {}
};

inline constexpr const char* SDuplicateString = "String list does not allow duplicates";
inline constexpr const char* SSortedListError = "Operation not allowed on sorted string list";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";

// Root of the objects a list can hold in its slots; an owning list frees them
// through the virtual destructor.
class TListObject {
public:
    virtual ~TListObject() = default;
};

// The generic operations every string list offers, written on top of a few
// virtual primitives.
class TBaseStringList {
public:
    virtual ~TBaseStringList() = default;

    virtual std::int32_t Count() const = 0;
    virtual const std::string& Get(std::int32_t Index) const = 0;
    virtual void Put(std::int32_t Index, const std::string& S) = 0;
    virtual TListObject* GetObject(std::int32_t Index) const = 0;
    virtual void PutObject(std::int32_t Index, TListObject* Object) = 0;
    virtual std::int32_t Add(const std::string& S);
    virtual void Insert(std::int32_t Index, const std::string& S) = 0;
    virtual void Delete(std::int32_t Index) = 0;
    virtual void Exchange(std::int32_t Index1, std::int32_t Index2) = 0;
    virtual void Clear() = 0;
    // Position of the first entry equal to S, -1 when there is none.
    virtual std::int32_t IndexOf(const std::string& S) const;

    std::int32_t AddObject(const std::string& S, TListObject* Object);

    // Entries of the form name=value.
    std::int32_t IndexOfName(const std::string& Name) const;
    // The value after "Name=", empty when no entry has that name.
    std::string Value(const std::string& Name) const;

    // All entries, each followed by a carriage return and line feed.
    std::string Text() const;
    // Replaces the entries by the lines of Value (ended by CR, LF or CR LF).
    void SetText(const std::string& Value);

protected:
    // Raises EStringListError with Pattern's %d replaced by Data.
    [[noreturn]] static void Error(const char* Pattern, std::int32_t Data);
};

enum class TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

// Comparison of two entries by position: negative, zero or positive.
class TOpenStringList;
using TListCompare = int (*)(const TOpenStringList& List, std::int32_t Index1, std::int32_t Index2);

class TOpenStringList : public TBaseStringList {
public:
    TOpenStringList() = default;
    TOpenStringList(const TOpenStringList&) = delete;
    TOpenStringList& operator=(const TOpenStringList&) = delete;
    ~TOpenStringList() override = default;

    std::int32_t Count() const override { return FCount; }
    std::int32_t Capacity() const { return FCapacity; }
    const std::string& Get(std::int32_t Index) const override;
    void Put(std::int32_t Index, const std::string& S) override;
    TListObject* GetObject(std::int32_t Index) const override;
    void PutObject(std::int32_t Index, TListObject* Object) override;
    std::int32_t Add(const std::string& S) override;
    void Insert(std::int32_t Index, const std::string& S) override;
    void Delete(std::int32_t Index) override;
    void Exchange(std::int32_t Index1, std::int32_t Index2) override;
    void Clear() override;
    std::int32_t IndexOf(const std::string& S) const override;

    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates = TDuplicates::dupIgnore;

    // Larger: appends empty entries; smaller: deletes entries from the end.
    virtual void SetEntryCount(std::int32_t NewCount);
    // Binary search over a sorted list: true when S is present; Index is its
    // position (the first of equal entries when duplicates are accepted) or
    // the insertion point.
    virtual bool FindIndex(const std::string& S, std::int32_t& Index) const;
    virtual void SortEntries();
    virtual void SortWith(TListCompare Compare);

protected:
    struct TEntry {
        std::string String;
        TListObject* Object = nullptr;
        std::int32_t Integer = 0;
    };

    void CheckIndex(std::int32_t Index) const;
    TEntry& Entry(std::int32_t Index) { return FEntries[std::size_t(Index)]; }
    const TEntry& Entry(std::int32_t Index) const { return FEntries[std::size_t(Index)]; }

private:
    void Grow();
    void InsertEntry(std::int32_t Index, const std::string& S);
    void QuickSort(std::int32_t L, std::int32_t R, TListCompare Compare);

    std::vector<TEntry> FEntries; // positions 0 ... FCount - 1
    std::int32_t FCount = 0;
    std::int32_t FCapacity = 0;
    bool FSorted = false;
};

// Owns the objects in its slots: deleting an entry or clearing frees them.
// Replacing a slot's object through PutObject leaves the old one to the caller.
class TStringObjectList : public TOpenStringList {
public:
    TStringObjectList() = default;
    ~TStringObjectList() override;
    void Delete(std::int32_t Index) override;
    void Clear() override;
};

// Keeps a 32-bit integer in each slot.
class TStringIntegerList : public TOpenStringList {
public:
    std::int32_t GetValue(std::int32_t Index) const;
    std::int32_t AddValue(const std::string& S, std::int32_t Value);
};

} // namespace fi

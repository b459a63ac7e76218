#include "support/StringLists.h"

#include <new>
#include <utility>

namespace fi {

// ---- TBaseStringList -------------------------------------------------------

std::int32_t TBaseStringList::Add(const std::string& S) {
    const std::int32_t Index = Count();
    Insert(Index, S);
    return Index;
}

std::int32_t TBaseStringList::AddObject(const std::string& S, TListObject* Object) {
    const std::int32_t Index = Add(S);
    PutObject(Index, Object);
    return Index;
}

std::int32_t TBaseStringList::IndexOf(const std::string& S) const {
    for (std::int32_t i = 0; i < Count(); ++i)
        if (Get(i) == S) return i;
    return -1;
}

std::int32_t TBaseStringList::IndexOfName(const std::string& Name) const {
    for (std::int32_t i = 0; i < Count(); ++i) {
        const std::string& S = Get(i);
        const std::size_t Equal = S.find('=');
        if (Equal != std::string::npos && S.compare(0, Equal, Name) == 0) return i;
    }
    return -1;
}

std::string TBaseStringList::Value(const std::string& Name) const {
    const std::int32_t Index = IndexOfName(Name);
    if (Index < 0) return std::string();
    const std::string& S = Get(Index);
    return S.substr(S.find('=') + 1);
}

std::string TBaseStringList::Text() const {
    std::string Result;
    for (std::int32_t i = 0; i < Count(); ++i) {
        Result += Get(i);
        Result += "\r\n";
    }
    return Result;
}

void TBaseStringList::SetText(const std::string& Value) {
    Clear();
    std::size_t Start = 0;
    while (Start < Value.size()) {
        std::size_t End = Start;
        while (End < Value.size() && Value[End] != '\r' && Value[End] != '\n') ++End;
        Add(Value.substr(Start, End - Start));
        if (End < Value.size() && Value[End] == '\r') ++End;
        if (End < Value.size() && Value[End] == '\n') ++End;
        Start = End;
    }
}

void TBaseStringList::Error(const char* Pattern, std::int32_t Data) {
    std::string Message = Pattern;
    const std::size_t At = Message.find("%d");
    if (At != std::string::npos) Message.replace(At, 2, std::to_string(Data));
    throw EStringListError(Message);
}

// ---- TOpenStringList -------------------------------------------------------

namespace {
// Ordinal byte comparison; a shorter prefix sorts first.
int CompareStrings(const std::string& A, const std::string& B) {
    return A.compare(B) < 0 ? -1 : (A == B ? 0 : 1);
}

int CompareEntries(const TOpenStringList& List, std::int32_t Index1, std::int32_t Index2) {
    return CompareStrings(List.Get(Index1), List.Get(Index2));
}
} // namespace

void TOpenStringList::CheckIndex(std::int32_t Index) const {
    if (Index < 0 || Index >= FCount) Error(SListIndexError, Index);
}

const std::string& TOpenStringList::Get(std::int32_t Index) const {
    CheckIndex(Index);
    return Entry(Index).String;
}

void TOpenStringList::Put(std::int32_t Index, const std::string& S) {
    if (FSorted) Error(SSortedListError, 0);
    CheckIndex(Index);
    Entry(Index).String = S;
}

TListObject* TOpenStringList::GetObject(std::int32_t Index) const {
    CheckIndex(Index);
    return Entry(Index).Object;
}

void TOpenStringList::PutObject(std::int32_t Index, TListObject* Object) {
    CheckIndex(Index);
    Entry(Index).Object = Object;
}

std::int32_t TOpenStringList::Add(const std::string& S) {
    std::int32_t Index = FCount;
    if (FSorted && FindIndex(S, Index)) {
        if (Duplicates == TDuplicates::dupIgnore) return Index;
        if (Duplicates == TDuplicates::dupError) Error(SDuplicateString, 0);
    }
    InsertEntry(Index, S);
    return Index;
}

void TOpenStringList::Insert(std::int32_t Index, const std::string& S) {
    if (FSorted) Error(SSortedListError, 0);
    if (Index < 0 || Index > FCount) Error(SListIndexError, Index);
    InsertEntry(Index, S);
}

void TOpenStringList::Grow() {
    const std::int32_t Delta = FCapacity > 64 ? FCapacity / 4 : (FCapacity > 8 ? 16 : 4);
    try {
        FEntries.reserve(std::size_t(FCapacity) + std::size_t(Delta));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
    FCapacity += Delta;
}

void TOpenStringList::InsertEntry(std::int32_t Index, const std::string& S) {
    if (FCount == FCapacity) Grow();
    FEntries.insert(FEntries.begin() + Index, TEntry{S, nullptr, 0});
    ++FCount;
}

void TOpenStringList::Delete(std::int32_t Index) {
    CheckIndex(Index);
    FEntries.erase(FEntries.begin() + Index);
    --FCount;
}

void TOpenStringList::Exchange(std::int32_t Index1, std::int32_t Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(Entry(Index1), Entry(Index2));
}

void TOpenStringList::Clear() {
    std::vector<TEntry>().swap(FEntries);
    FCount = 0;
    FCapacity = 0;
}

std::int32_t TOpenStringList::IndexOf(const std::string& S) const {
    if (!FSorted) return TBaseStringList::IndexOf(S);
    std::int32_t Index;
    return FindIndex(S, Index) ? Index : -1;
}

void TOpenStringList::SetSorted(bool Value) {
    if (Value == FSorted) return;
    if (Value) SortEntries();
    FSorted = Value;
}

void TOpenStringList::SetEntryCount(std::int32_t NewCount) {
    while (FCount < NewCount) InsertEntry(FCount, std::string());
    while (FCount > NewCount && FCount > 0) Delete(FCount - 1);
}

bool TOpenStringList::FindIndex(const std::string& S, std::int32_t& Index) const {
    bool Found = false;
    std::int32_t Lo = 0;
    std::int32_t Hi = FCount - 1;
    while (Lo <= Hi) {
        const std::int32_t Mid = std::int32_t((std::uint32_t(Lo) + std::uint32_t(Hi)) >> 1);
        const int C = CompareStrings(Entry(Mid).String, S);
        if (C < 0) {
            Lo = Mid + 1;
        } else {
            Hi = Mid - 1;
            if (C == 0) {
                Found = true;
                if (Duplicates != TDuplicates::dupAccept) Lo = Mid;
            }
        }
    }
    Index = Lo;
    return Found;
}

void TOpenStringList::SortEntries() { SortWith(CompareEntries); }

void TOpenStringList::SortWith(TListCompare Compare) {
    if (!FSorted && FCount > 1) QuickSort(0, FCount - 1, Compare);
}

void TOpenStringList::QuickSort(std::int32_t L, std::int32_t R, TListCompare Compare) {
    // Hoare partition around the middle entry; the pivot's position is
    // followed through the swaps. Recursion only on the smaller side keeps
    // the stack depth logarithmic.
    while (L < R) {
        std::int32_t I = L;
        std::int32_t J = R;
        std::int32_t P = std::int32_t((std::uint32_t(L) + std::uint32_t(R)) >> 1);
        do {
            while (Compare(*this, I, P) < 0) ++I;
            while (Compare(*this, J, P) > 0) --J;
            if (I <= J) {
                if (I != J) std::swap(Entry(I), Entry(J));
                if (P == I)
                    P = J;
                else if (P == J)
                    P = I;
                ++I;
                --J;
            }
        } while (I <= J);
        if (J - L < R - I) {
            if (L < J) QuickSort(L, J, Compare);
            L = I;
        } else {
            if (I < R) QuickSort(I, R, Compare);
            R = J;
        }
    }
}

// ---- TStringObjectList -----------------------------------------------------

TStringObjectList::~TStringObjectList() { Clear(); }

void TStringObjectList::Delete(std::int32_t Index) {
    CheckIndex(Index);
    delete Entry(Index).Object;
    Entry(Index).Object = nullptr;
    TOpenStringList::Delete(Index);
}

void TStringObjectList::Clear() {
    for (std::int32_t i = 0; i < Count(); ++i) {
        delete Entry(i).Object;
        Entry(i).Object = nullptr;
    }
    TOpenStringList::Clear();
}

// ---- TStringIntegerList ----------------------------------------------------

std::int32_t TStringIntegerList::GetValue(std::int32_t Index) const {
    CheckIndex(Index);
    return Entry(Index).Integer;
}

std::int32_t TStringIntegerList::AddValue(const std::string& S, std::int32_t Value) {
    const std::int32_t Index = Add(S);
    Entry(Index).Integer = Value;
    return Index;
}

} // namespace fi

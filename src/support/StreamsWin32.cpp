// File-stream system calls on Windows: the Win32 file API with the access,
// sharing and creation choices of the flags.
#include <windows.h>

#include "support/Streams.h"

namespace fi {

std::string LastSystemErrorText() {
    const DWORD Code = GetLastError();
    char* Text = nullptr;
    const DWORD Length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, Code, 0, reinterpret_cast<char*>(&Text), 0, nullptr);
    std::string Result = Length ? std::string(Text, Length) : "System error " + std::to_string(Code);
    if (Text) LocalFree(Text);
    while (!Result.empty() && (Result.back() == '\n' || Result.back() == '\r' || Result.back() == ' '))
        Result.pop_back();
    return Result;
}

namespace {
HANDLE AsHandle(std::intptr_t H) { return reinterpret_cast<HANDLE>(H); }
} // namespace

std::intptr_t TFileStream::OpenHandle(const std::string& Name, std::int32_t Flags) {
    DWORD Access = 0;
    if (Flags & fsRead) Access |= GENERIC_READ;
    if (Flags & fsWrite) Access |= GENERIC_WRITE;
    DWORD Share = 0;
    if (Flags & fsShareRead) Share |= FILE_SHARE_READ;
    if (Flags & fsShareWrite) Share |= FILE_SHARE_WRITE;
    const HANDLE H = CreateFileA(Name.c_str(), Access, Share, nullptr,
                                 (Flags & fsCreate) ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return H == INVALID_HANDLE_VALUE ? InvalidHandle : reinterpret_cast<std::intptr_t>(H);
}

bool TFileStream::CloseHandle(std::intptr_t H) { return ::CloseHandle(AsHandle(H)) != 0; }

void TFileStream::RemoveFile() {
    if (!::DeleteFileA(FileName.c_str()))
        throw EInOutError(FormatText(SErrorDeleting, FileName, LastSystemErrorText()));
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
    DWORD Done = 0;
    if (!WriteFile(AsHandle(Handle), Buffer, DWORD(Count), &Done, nullptr))
        throw EInOutError(FormatText(SErrorWriting, LastSystemErrorText()));
    if (Strict && std::int32_t(Done) < Count) throw EInOutError(SReadLessThanExpected);
    return std::int32_t(Done);
}

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
    DWORD Done = 0;
    if (!ReadFile(AsHandle(Handle), Buffer, DWORD(Count), &Done, nullptr))
        throw EInOutError(FormatText(SErrorReading, LastSystemErrorText()));
    if (Strict && std::int32_t(Done) < Count) throw EInOutError(SReadLessThanExpected);
    return std::int32_t(Done);
}

void TFileStream::Flush() { FlushFileBuffers(AsHandle(Handle)); }

std::int32_t TFileStream::GetPosition() {
    SetLastError(NO_ERROR);
    const DWORD Position = SetFilePointer(AsHandle(Handle), 0, nullptr, FILE_CURRENT);
    if (Position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        throw EInOutError(FormatText(SIOError, LastSystemErrorText()));
    return std::int32_t(Position);
}

std::int32_t TFileStream::GetSize() {
    SetLastError(NO_ERROR);
    const DWORD Size = GetFileSize(AsHandle(Handle), nullptr);
    if (Size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        throw EInOutError(FormatText(SIOError, LastSystemErrorText()));
    return std::int32_t(Size);
}

void TFileStream::Seek(std::int32_t Position) {
    SetLastError(NO_ERROR);
    const DWORD Result = SetFilePointer(AsHandle(Handle), Position, nullptr, FILE_BEGIN);
    if (Result == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        throw EInOutError(FormatText(SErrorMoving, LastSystemErrorText()));
}

void TFileStream::Truncate() {
    if (!SetEndOfFile(AsHandle(Handle)))
        throw EInOutError(FormatText(SErrorTruncating, FileName, LastSystemErrorText()));
}

} // namespace fi

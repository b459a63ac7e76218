// File-stream system calls on POSIX. Sharing flags have no counterpart here:
// POSIX files are always shareable.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/Streams.h"

namespace fi {

std::string LastSystemErrorText() { return std::strerror(errno); }

std::intptr_t TFileStream::OpenHandle(const std::string& Name, std::int32_t Flags) {
    int Mode = (Flags & fsRead) && (Flags & fsWrite) ? O_RDWR : ((Flags & fsWrite) ? O_WRONLY : O_RDONLY);
    if (Flags & fsCreate) Mode |= O_CREAT | O_TRUNC;
    const int fd = ::open(Name.c_str(), Mode | O_CLOEXEC, 0666);
    return fd < 0 ? InvalidHandle : fd;
}

bool TFileStream::CloseHandle(std::intptr_t H) { return ::close(int(H)) == 0; }

void TFileStream::RemoveFile() {
    if (::unlink(FileName.c_str()) != 0)
        throw EInOutError(FormatText(SErrorDeleting, FileName, LastSystemErrorText()));
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
    const auto* Data = static_cast<const char*>(Buffer);
    std::int32_t Done = 0;
    while (Done < Count) {
        const ssize_t n = ::write(int(Handle), Data + Done, std::size_t(Count - Done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(FormatText(SErrorWriting, LastSystemErrorText()));
        }
        if (n == 0) break;
        Done += std::int32_t(n);
    }
    if (Strict && Done < Count) throw EInOutError(SReadLessThanExpected);
    return Done;
}

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
    auto* Data = static_cast<char*>(Buffer);
    std::int32_t Done = 0;
    while (Done < Count) {
        const ssize_t n = ::read(int(Handle), Data + Done, std::size_t(Count - Done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(FormatText(SErrorReading, LastSystemErrorText()));
        }
        if (n == 0) break;
        Done += std::int32_t(n);
    }
    if (Strict && Done < Count) throw EInOutError(SReadLessThanExpected);
    return Done;
}

void TFileStream::Flush() { ::fsync(int(Handle)); }

std::int32_t TFileStream::GetPosition() {
    const off_t Position = ::lseek(int(Handle), 0, SEEK_CUR);
    if (Position < 0) throw EInOutError(FormatText(SIOError, LastSystemErrorText()));
    return std::int32_t(Position);
}

std::int32_t TFileStream::GetSize() {
    struct stat Info {};
    if (::fstat(int(Handle), &Info) != 0) throw EInOutError(FormatText(SIOError, LastSystemErrorText()));
    return std::int32_t(Info.st_size);
}

void TFileStream::Seek(std::int32_t Position) {
    if (::lseek(int(Handle), Position, SEEK_SET) < 0)
        throw EInOutError(FormatText(SErrorMoving, LastSystemErrorText()));
}

void TFileStream::Truncate() {
    const off_t Position = ::lseek(int(Handle), 0, SEEK_CUR);
    if (Position < 0 || ::ftruncate(int(Handle), Position) != 0)
        throw EInOutError(FormatText(SErrorTruncating, FileName, LastSystemErrorText()));
}

} // namespace fi

#include "support/Streams.h"

#include <cstdlib>
#include <cstring>

namespace fi {

std::int32_t DefaultBufferSize = 65536;

void TBaseStream::CopyFrom(TBaseStream& Source) {
    const bool WasStrict = Source.Strict;
    if (WasStrict) Source.SetStrict(false);
    std::uint8_t Buffer[4096];
    while (!Source.EndOfStream()) {
        const std::int32_t n = Source.Read(Buffer, sizeof Buffer);
        Write(Buffer, n);
    }
    if (WasStrict) Source.SetStrict(true);
}

void TFilterStream::SetStrict(bool Value) {
    Strict = Value;
    Target->SetStrict(Value);
}

void TFilterStream::FreeChain(TFilterStream* Stream) {
    if (Stream == nullptr) return;
    bool FlushFailed = false;
    std::string FlushMessage;
    try {
        Stream->Flush();
    } catch (const std::exception& Failure) {
        FlushFailed = true;
        FlushMessage = Failure.what();
    }
    TBaseStream* Target = Stream->Target;
    delete Stream;
    if (auto* Filter = dynamic_cast<TFilterStream*>(Target))
        FreeChain(Filter);
    else
        delete Target;
    if (FlushFailed) throw EInOutError(FlushMessage);
}

TBufferedStream::TBufferedStream(std::int32_t AReadBufferSize, TBaseStream* ATarget, std::int32_t AWriteBufferSize)
    : TFilterStream(ATarget) {
    CanRead = Target->CanRead;
    CanWrite = Target->CanWrite;
    Strict = Target->Strict;
    // Reading ahead may legitimately reach the end of the target, so the
    // buffered stream checks lengths itself.
    RestoreStrict = CanRead && AReadBufferSize != 0 && Strict;
    if (RestoreStrict) Target->SetStrict(false);
    try {
        if (AReadBufferSize == -1) AReadBufferSize = DefaultBufferSize;
        if (CanRead && AReadBufferSize != 0) {
            if (AReadBufferSize < 2) throw EStreamCreate(SInvalidBufferSize);
            ReadBuffer = static_cast<std::uint8_t*>(std::malloc(std::size_t(AReadBufferSize)));
            if (ReadBuffer == nullptr) throw EOutOfMemory();
            ReadBufferSize = AReadBufferSize;
        }
        if (AWriteBufferSize == -1) AWriteBufferSize = DefaultBufferSize;
        if (CanWrite && AWriteBufferSize != 0) {
            if (AWriteBufferSize < 2) throw EStreamCreate(SInvalidBufferSize);
            WriteBuffer = static_cast<std::uint8_t*>(std::malloc(std::size_t(AWriteBufferSize)));
            if (WriteBuffer == nullptr) throw EOutOfMemory();
            WriteBufferSize = AWriteBufferSize;
        }
    } catch (...) {
        FreeBuffers();
        if (RestoreStrict) Target->SetStrict(true);
        throw;
    }
}

TBufferedStream::~TBufferedStream() {
    // FreeChain has already written and reported pending output; a stream
    // destroyed directly still writes it, but cannot report a failure here.
    try {
        if (WriteBuffer != nullptr) Flush();
    } catch (...) {
    }
    FreeBuffers();
    if (RestoreStrict) Target->SetStrict(true);
}

void TBufferedStream::FreeBuffers() {
    std::free(ReadBuffer);
    std::free(WriteBuffer);
    ReadBuffer = WriteBuffer = nullptr;
}

std::int32_t TBufferedStream::Read(void* Data, std::int32_t Count) {
    if (ReadBuffer == nullptr) return Target->Read(Data, Count);
    auto* Out = static_cast<std::uint8_t*>(Data);
    const std::int32_t Avail = ReadFill - ReadPos;
    if (Avail >= Count) {
        std::memcpy(Out, ReadBuffer + ReadPos, std::size_t(Count));
        ReadPos += Count;
        return Count;
    }
    std::memcpy(Out, ReadBuffer + ReadPos, std::size_t(Avail));
    std::int32_t Result = Avail;
    const std::int32_t Rest = Count - Avail;
    if (Rest < ReadBufferSize) {
        const std::int32_t n = Target->Read(ReadBuffer, ReadBufferSize);
        if (n < Rest) {
            std::memcpy(Out + Result, ReadBuffer, std::size_t(n));
            Result += n;
            ReadPos = 0;
            ReadFill = 0;
            if (Strict) throw EInOutError(SReadLessThanExpected);
        } else {
            std::memcpy(Out + Result, ReadBuffer, std::size_t(Rest));
            Result += Rest;
            ReadFill = n;
            ReadPos = Rest;
        }
    } else {
        const std::int32_t n = Target->Read(Out + Result, Rest);
        Result += n;
        ReadPos = 0;
        ReadFill = 0;
        if (Strict && n < Rest) throw EInOutError(SReadLessThanExpected);
    }
    return Result;
}

std::int32_t TBufferedStream::Write(const void* Data, std::int32_t Count) {
    if (WriteBuffer == nullptr) return Target->Write(Data, Count);
    const auto* In = static_cast<const std::uint8_t*>(Data);
    const std::int32_t Free = WriteBufferSize - WriteFill;
    if (Free >= Count) {
        std::memcpy(WriteBuffer + WriteFill, In, std::size_t(Count));
        WriteFill += Count;
        return Count;
    }
    std::memcpy(WriteBuffer + WriteFill, In, std::size_t(Free));
    WriteFill = WriteBufferSize;
    const std::int32_t Rest = Count - Free;
    const std::int32_t Written = Target->Write(WriteBuffer, WriteBufferSize);
    // A short write leaves the buffer full and is marked by a negative result.
    if (Written < WriteBufferSize) return -WriteBufferSize - Rest;
    if (Rest >= WriteBufferSize) {
        WriteFill = 0;
        return Free + Target->Write(In + Free, Rest);
    }
    std::memcpy(WriteBuffer, In + Free, std::size_t(Rest));
    WriteFill = Rest;
    return Count;
}

void TBufferedStream::Flush() {
    if (WriteFill > 0) {
        // Cleared first: a failing target must not make the destructor write it again.
        const std::int32_t Pending = WriteFill;
        WriteFill = 0;
        Target->Write(WriteBuffer, Pending);
    }
}

TBufferedStream* OpenBufferedFile(const std::string& FileName, bool ForWriting) {
    auto* File = new TFileStream(FileName, ForWriting ? (fsRead | fsWrite | fsCreate | fsShareRead)
                                                      : (fsRead | fsShareRead | fsShareWrite));
    try {
        return ForWriting ? new TBufferedStream(0, File, DefaultBufferSize)
                          : new TBufferedStream(DefaultBufferSize, File, 0);
    } catch (...) {
        delete File;
        throw;
    }
}

TChainOwner::~TChainOwner() {
    try {
        TFilterStream::FreeChain(Stream);
    } catch (...) {
        // Only reached while another failure is unwinding: that one is reported.
    }
}

void TChainOwner::Close() {
    TFilterStream* Chain = Stream;
    Stream = nullptr;
    TFilterStream::FreeChain(Chain);
}

// File-stream operations shared by both platforms; the system calls live in
// StreamsPosix.cpp and StreamsWin32.cpp.
TFileStream::TFileStream(const std::string& AFileName, std::int32_t Flags) : FileName(AFileName) {
    if ((Flags & (fsRead | fsWrite)) == 0) throw EInOutError(SAccessNotSpecified);
    CanRead = (Flags & fsRead) != 0;
    CanWrite = (Flags & fsWrite) != 0;
    Handle = OpenHandle(FileName, Flags);
    if (Handle == InvalidHandle) throw EInOutError(FormatText(SErrorOpening, FileName, LastSystemErrorText()));
}

TFileStream::~TFileStream() {
    if (Handle != InvalidHandle) CloseHandle(Handle);
}

void TFileStream::CloseAndDelete() {
    const std::intptr_t H = Handle;
    Handle = InvalidHandle;
    if (!CloseHandle(H)) throw EInOutError(FormatText(SErrorClosing, FileName, LastSystemErrorText()));
    RemoveFile();
}

} // namespace fi

#pragma once
// The plug-in's own byte streams: an abstract stream with a strict-length
// mode, filters that forward to a target, a stream over an operating-system
// file, and a buffered filter with independent read and write buffers.
#include <cstdint>
#include <string>

#include "support/Exceptions.h"

namespace fi {

class EStreamCreate : public Exception {
public:
    explicit EStreamCreate(const std::string& Message) : Exception(Message) {}
};

inline constexpr const char* SReadLessThanExpected = "Read less than expected";
inline constexpr const char* SInvalidBufferSize = "Invalid buffer size";
inline constexpr const char* SAccessNotSpecified =
    "Either read, write or full access must be specified in call to CreateFile";
inline constexpr const char* SErrorOpening = "Error opening \"%s\" - %s";
inline constexpr const char* SErrorWriting = "Error writing to stream - %s";
inline constexpr const char* SErrorReading = "Error reading from stream - %s";
inline constexpr const char* SIOError = "IO-error: %s";
inline constexpr const char* SErrorMoving = "Error moving file pointer - %s";
inline constexpr const char* SErrorTruncating = "Error truncating file \"%s\" - %s";
inline constexpr const char* SErrorClosing = "Error closing \"%s\" - %s";
inline constexpr const char* SErrorDeleting = "Error deleting \"%s\" - %s";

extern std::int32_t DefaultBufferSize;

class TBaseStream {
public:
    bool CanWrite = false;
    bool CanRead = false;
    bool Strict = true;

    TBaseStream() = default;
    virtual ~TBaseStream() = default;
    TBaseStream(const TBaseStream&) = delete;
    TBaseStream& operator=(const TBaseStream&) = delete;

    virtual void SetStrict(bool Value) { Strict = Value; }
    virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
    virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
    virtual bool EndOfStream() { return BytesLeft() == 0; }
    virtual std::int32_t BytesLeft() = 0;
    virtual void Flush() {}
    // Copies everything Source has left, in 4096-byte blocks.
    virtual void CopyFrom(TBaseStream& Source);
};

class TSeekableStream : public TBaseStream {
public:
    virtual std::int32_t GetPosition() = 0;
    virtual std::int32_t GetSize() = 0;
    virtual void Seek(std::int32_t Position) = 0;
    // Cuts the stream at the current position.
    virtual void Truncate() = 0;
};

class TFilterStream : public TBaseStream {
public:
    TBaseStream* Target = nullptr;

    explicit TFilterStream(TBaseStream* ATarget) : Target(ATarget) {}

    void SetStrict(bool Value) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override { return Target->Write(Buffer, Count); }
    std::int32_t Read(void* Buffer, std::int32_t Count) override { return Target->Read(Buffer, Count); }
    std::int32_t BytesLeft() override { return Target->BytesLeft(); }

    // Releases Stream and every stream below it; null does nothing. Pending
    // buffered output is written first, and a failure to write it is raised
    // after the whole chain has been released.
    static void FreeChain(TFilterStream* Stream);
};

// File flags of TFileStream.
enum : std::int32_t {
    fsRead = 1, fsWrite = 2, fsCreate = 4, fsShareRead = 8, fsShareWrite = 16
};

class TFileStream : public TSeekableStream {
public:
    static constexpr std::intptr_t InvalidHandle = -1;
    std::intptr_t Handle = InvalidHandle;
    std::string FileName;

    TFileStream(const std::string& AFileName, std::int32_t Flags);
    ~TFileStream() override;

    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t BytesLeft() override { return GetSize() - GetPosition(); }
    void Flush() override;
    std::int32_t GetPosition() override;
    std::int32_t GetSize() override;
    void Seek(std::int32_t Position) override;
    void Truncate() override;
    // Closes the file and deletes it; the object stays for its owner to free.
    virtual void CloseAndDelete();

private:
    // The platform's open; returns InvalidHandle on failure.
    static std::intptr_t OpenHandle(const std::string& Name, std::int32_t Flags);
    static bool CloseHandle(std::intptr_t H);
    // Deletes FileName; a failure raises "Error deleting".
    void RemoveFile();
};

// The operating system's message for its last error code.
std::string LastSystemErrorText();

class TBufferedStream : public TFilterStream {
public:
    bool RestoreStrict = false;
    std::uint8_t* ReadBuffer = nullptr;
    std::int32_t ReadPos = 0;
    std::int32_t ReadFill = 0;
    std::int32_t ReadBufferSize = 0;
    std::uint8_t* WriteBuffer = nullptr;
    std::int32_t WriteFill = 0;
    std::int32_t WriteBufferSize = 0;

    // A size of -1 means DefaultBufferSize, 0 unbuffered.
    TBufferedStream(std::int32_t AReadBufferSize, TBaseStream* ATarget, std::int32_t AWriteBufferSize);
    // Writes what is pending; the target itself is not freed.
    ~TBufferedStream() override;

    std::int32_t Read(void* Data, std::int32_t Count) override;
    std::int32_t Write(const void* Data, std::int32_t Count) override;
    void Flush() override;
    std::int32_t BytesLeft() override { return Target->BytesLeft() + ReadFill - ReadPos; }

private:
    void FreeBuffers();
};

// A buffered stream over a new file stream; release it with FreeChain.
TBufferedStream* OpenBufferedFile(const std::string& FileName, bool ForWriting);

// Owns a stream chain for a scope: Close releases it and reports a failure to
// write pending output; the destructor releases it on the way out of a failure.
class TChainOwner {
public:
    explicit TChainOwner(TFilterStream* AStream) : Stream(AStream) {}
    ~TChainOwner();
    TChainOwner(const TChainOwner&) = delete;
    TChainOwner& operator=(const TChainOwner&) = delete;

    TFilterStream& operator*() const { return *Stream; }
    TFilterStream* operator->() const { return Stream; }
    void Close();

private:
    TFilterStream* Stream;
};

} // namespace fi

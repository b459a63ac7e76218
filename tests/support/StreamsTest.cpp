#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "support/Streams.h"

namespace fi {
namespace {

// An in-memory stream that records what reaches it, to watch the buffering.
class TMemoryStream : public TBaseStream {
public:
    std::vector<std::uint8_t> Data;
    std::size_t Position = 0;
    std::vector<std::int32_t> Transfers; // the Count of each Read or Write call
    std::int32_t WriteLimit = -1;        // bytes accepted per write, -1 for all

    TMemoryStream() { CanRead = CanWrite = true; }
    std::int32_t Write(const void* Buffer, std::int32_t Count) override {
        Transfers.push_back(Count);
        const std::int32_t n = WriteLimit < 0 ? Count : std::min(Count, WriteLimit);
        const auto* p = static_cast<const std::uint8_t*>(Buffer);
        Data.insert(Data.end(), p, p + n);
        return n;
    }
    std::int32_t Read(void* Buffer, std::int32_t Count) override {
        Transfers.push_back(Count);
        const std::int32_t n = std::min<std::int32_t>(Count, std::int32_t(Data.size() - Position));
        std::memcpy(Buffer, Data.data() + Position, std::size_t(n));
        Position += std::size_t(n);
        if (Strict && n < Count) throw EInOutError(SReadLessThanExpected);
        return n;
    }
    std::int32_t BytesLeft() override { return std::int32_t(Data.size() - Position); }
};

std::string TempFile(const char* Name) { return testing::TempDir() + Name; }

void WriteFile(const std::string& Name, const std::string& Content) {
    std::ofstream(Name, std::ios::binary) << Content;
}

template <class F>
std::string Failure(F&& Body) {
    try {
        Body();
    } catch (const std::exception& E) {
        return E.what();
    }
    return "";
}

TEST(FileStream, FlagsNeedReadOrWrite) {
    const std::string Name = TempFile("flags.bin");
    EXPECT_EQ(Failure([&] { TFileStream S(Name, 0); }), SAccessNotSpecified);
    EXPECT_EQ(Failure([&] { TFileStream S(Name, fsCreate); }), SAccessNotSpecified);
}

TEST(FileStream, OpenFailureNamesFileAndSystemText) {
    const std::string Name = TempFile("does-not-exist.bin");
    const std::string Message = Failure([&] { TFileStream S(Name, fsRead); });
    EXPECT_EQ(Message.rfind("Error opening \"" + Name + "\" - ", 0), 0u) << Message;
    EXPECT_GT(Message.size(), Name.size() + 20);
}

TEST(FileStream, ReadWriteSeekTruncateAndDelete) {
    const std::string Name = TempFile("rw.bin");
    TFileStream S(Name, fsRead | fsWrite | fsCreate);
    EXPECT_EQ(S.Write("abcdef", 6), 6);
    EXPECT_EQ(S.GetSize(), 6);
    EXPECT_EQ(S.GetPosition(), 6);
    S.Seek(2);
    EXPECT_EQ(S.BytesLeft(), 4);
    char Buffer[8] = {};
    EXPECT_EQ(S.Read(Buffer, 2), 2);
    EXPECT_STREQ(Buffer, "cd");
    S.Truncate();
    EXPECT_EQ(S.GetSize(), 4);
    EXPECT_TRUE(S.EndOfStream());
    EXPECT_EQ(Failure([&] { S.Read(Buffer, 1); }), SReadLessThanExpected);
    S.SetStrict(false);
    EXPECT_EQ(S.Read(Buffer, 1), 0);
    S.CloseAndDelete();
    EXPECT_EQ(std::fopen(Name.c_str(), "rb"), nullptr);
}

TEST(BufferedStream, StrictReadPastEndOfShortFile) {
    const std::string Name = TempFile("four.bin");
    WriteFile(Name, "1234");
    char Buffer[10] = {};
    {
        TChainOwner Stream(OpenBufferedFile(Name, false));
        EXPECT_EQ(Failure([&] { Stream->Read(Buffer, 10); }), SReadLessThanExpected);
        Stream.Close();
    }
    {
        TChainOwner Stream(OpenBufferedFile(Name, false));
        Stream->SetStrict(false);
        EXPECT_EQ(Stream->Read(Buffer, 10), 4);
        EXPECT_EQ(std::string(Buffer, 4), "1234");
        EXPECT_TRUE(Stream->EndOfStream());
        Stream.Close();
    }
    std::remove(Name.c_str());
}

TEST(BufferedStream, BufferSizesAndStrictHandOver) {
    TMemoryStream Target;
    EXPECT_EQ(Failure([&] { TBufferedStream S(1, &Target, 0); }), SInvalidBufferSize);
    // The failed constructor hands strictness back.
    EXPECT_TRUE(Target.Strict);
    {
        TBufferedStream S(-1, &Target, 0);
        EXPECT_EQ(S.ReadBufferSize, DefaultBufferSize);
        EXPECT_TRUE(S.RestoreStrict);
        EXPECT_FALSE(Target.Strict);
        EXPECT_TRUE(S.Strict);
    }
    EXPECT_TRUE(Target.Strict);

    Target.Data = {1, 2, 3, 4, 5};
    TBufferedStream Straight(0, &Target, 0);
    EXPECT_EQ(Straight.ReadBuffer, nullptr);
    EXPECT_FALSE(Straight.RestoreStrict);
    std::uint8_t Buffer[5];
    EXPECT_EQ(Straight.Read(Buffer, 3), 3);
    EXPECT_EQ(Target.Transfers, std::vector<std::int32_t>{3});
}

TEST(BufferedStream, ReadsAheadAndReadsLargeBlocksDirectly) {
    TMemoryStream Target;
    for (int i = 0; i < 100; ++i) Target.Data.push_back(std::uint8_t(i));
    TBufferedStream S(8, &Target, 0);
    std::uint8_t Buffer[40];
    EXPECT_EQ(S.Read(Buffer, 3), 3);   // fills the buffer with 8
    EXPECT_EQ(S.Read(Buffer, 4), 4);   // from the buffer
    EXPECT_EQ(S.BytesLeft(), 93);
    EXPECT_EQ(S.Read(Buffer, 20), 20); // 1 buffered, 19 >= 8 read directly
    EXPECT_EQ(Buffer[0], 7);
    EXPECT_EQ(Buffer[19], 26);
    EXPECT_EQ((Target.Transfers), (std::vector<std::int32_t>{8, 19}));
    EXPECT_EQ(S.Read(Buffer, 5), 5);
    EXPECT_EQ(Buffer[0], 27);
}

TEST(BufferedStream, WriteBufferingAndShortWrites) {
    TMemoryStream Target;
    {
        TBufferedStream S(0, &Target, 4);
        EXPECT_EQ(S.Write("ab", 2), 2);
        EXPECT_TRUE(Target.Transfers.empty());
        EXPECT_EQ(S.Write("cdefg", 5), 5); // fills to 4, writes it, keeps 3
        EXPECT_EQ(std::string(Target.Data.begin(), Target.Data.end()), "abcd");
        EXPECT_EQ(S.WriteFill, 3);
        EXPECT_EQ(S.Write("hijklmn", 7), 7); // 1 fills, 4 written, 6 >= 4 directly
        EXPECT_EQ(S.WriteFill, 0);
        EXPECT_EQ(S.Write("xy", 2), 2);
    }
    // Destroying the writer wrote the pending bytes.
    EXPECT_EQ(std::string(Target.Data.begin(), Target.Data.end()), "abcdefghijklmnxy");

    TMemoryStream Short;
    Short.WriteLimit = 2;
    Short.SetStrict(false);
    TBufferedStream S(0, &Short, 4);
    EXPECT_EQ(S.Write("abcdef", 6), -4 - 2);
    EXPECT_EQ(S.WriteFill, 4);
}

TEST(BufferedStream, FreeChainWritesAndClosesTheFile) {
    const std::string Name = TempFile("chain.bin");
    TBufferedStream* Writer = OpenBufferedFile(Name, true);
    Writer->Write("hello", 5);
    TFilterStream::FreeChain(Writer);
    TFilterStream::FreeChain(nullptr);
    {
        // The file is closed: it can be opened exclusively and holds the bytes.
        TFileStream Reader(Name, fsRead);
        EXPECT_EQ(Reader.GetSize(), 5);
        Reader.CloseAndDelete();
    }

    TMemoryStream Source;
    Source.Data.assign(10000, 7);
    TMemoryStream Dest;
    Dest.CopyFrom(Source);
    EXPECT_EQ(Dest.Data.size(), 10000u);
    EXPECT_TRUE(Source.Strict);
    EXPECT_EQ((Source.Transfers), (std::vector<std::int32_t>{4096, 4096, 4096}));
}

} // namespace
} // namespace fi

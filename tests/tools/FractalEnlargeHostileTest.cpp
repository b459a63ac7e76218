// The command line against hostile files and situations: every refusal comes
// before the work, as one line naming the file, with no output file and
// nothing left in the output folder or the temporary folder; signals and
// broken pipes leave nothing behind either.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "tools/ImageTestSupport.h"

namespace fi::test {
namespace {

namespace fs = std::filesystem;

class HostileSurface : public TScratchFolder {
protected:
    void SetUp() override {
        TScratchFolder::SetUp();
        for (const char* Name : {"in", "out", "tmp"}) fs::create_directory(PathOf(Name));
    }

    std::vector<std::string> Left(const std::string& Name) const {
        std::vector<std::string> Names;
        for (const auto& Entry : fs::directory_iterator(PathOf(Name))) Names.push_back(Entry.path().filename());
        return Names;
    }
    std::string Err() const {
        const std::vector<char> Bytes = Load(PathOf("err.txt"));
        return std::string(Bytes.begin(), Bytes.end());
    }
    // The command line in the folder with its own temporary folder; the exit code.
    int Shell(const std::string& Command) {
        const std::string Line = "cd " + Folder.string() + " && TMPDIR=" + PathOf("tmp") + " " + Command +
                                 " 2>" + PathOf("err.txt");
        const int Status = std::system(Line.c_str());
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }
    // A refusal before the work: Code, one line naming Named with Message,
    // nothing written, nothing left behind.
    void ExpectRefused(const std::string& Arguments, int Code, const std::string& Named, const std::string& Message) {
        EXPECT_EQ(Shell(std::string(FI_ENLARGE_PATH) + " -q " + Arguments + " >/dev/null"), Code) << Arguments;
        const std::string Text = Err();
        EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), 1) << Text;
        EXPECT_EQ(Text.rfind("fractal-enlarge: ", 0), 0u) << Text;
        EXPECT_NE(Text.find(Named), std::string::npos) << Text;
        EXPECT_NE(Text.find(Message), std::string::npos) << Text;
        EXPECT_TRUE(Left("out").empty()) << Arguments << ": " << Left("out")[0];
        EXPECT_TRUE(Left("tmp").empty()) << Arguments << ": " << Left("tmp")[0];
    }

    std::string Write(const std::string& Name, const TImageData& Image) {
        WriteImageFile(PathOf("in/" + Name), Image);
        return "in/" + Name;
    }
    void WriteTiffPages(const std::string& Name, int Pages) {
        TIFF* Tiff = TIFFOpen(PathOf("in/" + Name).c_str(), "w");
        ASSERT_NE(Tiff, nullptr);
        std::vector<std::uint8_t> Row(8, 100);
        for (int Page = 0; Page < Pages; ++Page) {
            TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, 8u);
            TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, 8u);
            TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            for (std::uint32_t y = 0; y < 8; ++y) TIFFWriteScanline(Tiff, Row.data(), y, 0);
            TIFFWriteDirectory(Tiff);
        }
        TIFFClose(Tiff);
    }
};

TEST_F(HostileSurface, SizesBeyondTheEngineAreRefusedBeforeTheWork) {
    const std::string Gray = Write("gray.png", PatternImage(1000, 1000, 1, false, TSampleType::st8bit));
    const std::string Limit = "the result of 16000 x 16000 pixels is too large (at most 250000000 pixels)";
    ExpectRefused(Gray + " --scale 16 -o out", 1, Gray, Limit);
    ExpectRefused(Gray + " --preset dialog --scale 16 -o out", 1, Gray, Limit);
    ExpectRefused("- --scale 16 -o out/x.png <" + Gray, 1, "standard input", Limit);

    // A BMP header of 2^31 - 1 pixels a side in a file of a few bytes.
    const std::string Bmp = Write("huge.bmp", PatternImage(2, 2, 3, false, TSampleType::st8bit));
    std::vector<char> Bytes = Load(PathOf(Bmp));
    const std::uint32_t Huge = 0x7FFFFFFF;
    std::memcpy(&Bytes[18], &Huge, 4);
    std::memcpy(&Bytes[22], &Huge, 4);
    Save(PathOf(Bmp), Bytes);
    ExpectRefused(Bmp + " -o out", 1, Bmp, "the image of 2147483647 x 2147483647 pixels is too large");
}

// Within the limit, memory the system refuses still names the file.
TEST_F(HostileSurface, MemoryTheSystemRefusesNamesTheFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
    const std::string Gray = Write("gray.png", PatternImage(2000, 2000, 1, false, TSampleType::st8bit));
    // 14000 x 14000 doubles take 1.6 GB.
    EXPECT_EQ(Shell("ulimit -v 1200000 && " + std::string(FI_ENLARGE_PATH) + " -q " + Gray +
                    " --preset dialog --scale 7 -o out"),
              1);
    EXPECT_EQ(Err(), "fractal-enlarge: " + Gray + ": Out of memory\n");
    EXPECT_TRUE(Left("out").empty());
    EXPECT_TRUE(Left("tmp").empty());
}

TEST_F(HostileSurface, NonFiniteSamplesAreRefused) {
    TImageData Image = PatternImage(32, 32, 3, false, TSampleType::stFloat64);
    Image.Samples.Float()[3 * (32 * 5 + 7) + 1] = std::numeric_limits<double>::infinity();
    const std::string One = Write("inf.tif", Image);
    ExpectRefused(One + " -o out", 1, One,
                  "1 of 3072 samples is not finite (infinity or NaN; the first at x 7, y 5, channel 1)");
    Image.Samples.Float()[0] = std::numeric_limits<double>::quiet_NaN();
    Image.Samples.Float()[3071] = -std::numeric_limits<double>::infinity();
    const std::string Three = Write("nan.tif", Image);
    ExpectRefused(Three + " --preset dialog -o out", 1, Three, "3 of 3072 samples are not finite");
}

TEST_F(HostileSurface, OutputFormatsAreCheckedBeforeTheWork) {
    const std::string Alpha = Write("alpha.png", PatternImage(2000, 2000, 4, true, TSampleType::st8bit));
    ExpectRefused(Alpha + " --preset dialog --setup 4 --scale 4 -o out/a.jpg", 1, "out/a.jpg",
                  "JPEG cannot hold an alpha channel");
    ExpectRefused(Alpha + " --scale 4 -o out/a.bmp", 1, "out/a.bmp", "BMP cannot hold an alpha channel");
    const std::string Deep = Write("deep.png", PatternImage(40, 30, 3, false, TSampleType::st16bit));
    ExpectRefused(Deep + " -o out/d.jpg", 1, "out/d.jpg", "JPEG cannot hold 16-bit samples");
    const std::string Float = Write("float.tif", PatternImage(40, 30, 1, false, TSampleType::stFloat64));
    ExpectRefused(Float + " -o out/f.png", 1, "out/f.png", "PNG cannot hold floating-point samples");
    ExpectRefused("- --format jpg -o - <" + Float, 1, "standard output", "JPEG cannot hold floating-point samples");
    const std::string Wide = Write("wide.png", PatternImage(8200, 1, 3, false, TSampleType::st8bit));
    ExpectRefused(Wide + " -o out/w.webp", 1, "out/w.webp", "WebP holds at most 16383 pixels a side, not 16400 x 2");
}

TEST_F(HostileSurface, InputsThatWouldOverwriteEachOtherAreRefused) {
    fs::create_directory(PathOf("in/d1"));
    fs::create_directory(PathOf("in/d2"));
    const std::string A = Write("d1/a.png", PatternImage(8, 8, 3, false, TSampleType::st8bit));
    const std::string B = Write("d2/a.png", PatternImage(8, 8, 1, false, TSampleType::st8bit));
    ExpectRefused(A + " " + B + " -o out", 2, A + " and " + B, "would both be written to out/a-x2.png");
    ExpectRefused(A + " " + A + " -o out/", 2, A + " and " + A, "would both be written to out/");
    // Beside their inputs they do not meet.
    EXPECT_EQ(Shell(std::string(FI_ENLARGE_PATH) + " -q " + A + " " + B + " >/dev/null"), 0) << Err();
    EXPECT_TRUE(fs::exists(PathOf("in/d1/a-x2.png")) && fs::exists(PathOf("in/d2/a-x2.png")));
}

TEST_F(HostileSurface, PagesAndFramesAreRefusedAlike) {
    WriteTiffPages("pages.tif", 3);
    ExpectRefused("in/pages.tif -o out", 1, "in/pages.tif", "unsupported multi-page TIFF (3 pages");
    const std::string Still = Write("anim.png", PatternImage(8, 8, 3, false, TSampleType::st8bit));
    Save(PathOf(Still), WithFrames(Load(PathOf(Still)), 5));
    ExpectRefused(Still + " -o out", 1, Still, "unsupported animated PNG (5 frames");
}

// The image goes to standard output from a temporary file, which a reader
// that stops early or a signal while the copy waits must not leave behind.
TEST_F(HostileSurface, BrokenPipesLeaveNothingBehind) {
    const std::string Big = Write("big.png", PatternImage(300, 300, 3, false, TSampleType::st8bit));
    Shell(std::string(FI_ENLARGE_PATH) + " " + Big + " -q -o - | head -c 10 >/dev/null");
    EXPECT_TRUE(Left("tmp").empty()) << Left("tmp")[0];
}

// The child's end within Limit: its status, or nothing after it was killed.
std::optional<int> WaitFor(pid_t Child, std::chrono::seconds Limit) {
    const auto Until = std::chrono::steady_clock::now() + Limit;
    int Status = 0;
    while (::waitpid(Child, &Status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > Until) {
            ::kill(Child, SIGKILL);
            ::waitpid(Child, &Status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Status;
}

TEST_F(HostileSurface, SignalsWhileTheCopyWaitsLeaveNothingBehind) {
    const std::string Big = Write("big.png", PatternImage(300, 300, 3, false, TSampleType::st8bit));
    struct TCase { int First, Second; };
    std::vector<TCase> Cases{{SIGTERM, 0}, {SIGHUP, 0}};
#if !defined(__SANITIZE_THREAD__)
    // The first Ctrl-C asks for a stop, the second ends the program; under
    // ThreadSanitizer both are held back and arrive as one.
    Cases.push_back({SIGINT, SIGINT});
#endif
    for (const TCase C : Cases) {
        int Pipe[2];
        ASSERT_EQ(::pipe(Pipe), 0);
        // Everything the child needs is made before the fork: only exec after it.
        const std::string Input = PathOf(Big);
        const std::string TmpDir = "TMPDIR=" + PathOf("tmp");
        char* const Arguments[] = {const_cast<char*>(FI_ENLARGE_PATH), const_cast<char*>("-q"),
                                   const_cast<char*>(Input.c_str()), const_cast<char*>("-o"),
                                   const_cast<char*>("-"), nullptr};
        std::vector<char*> Environment{const_cast<char*>(TmpDir.c_str())};
        for (char** Variable = environ; *Variable != nullptr; ++Variable)
            if (std::strncmp(*Variable, "TMPDIR=", 7) != 0) Environment.push_back(*Variable);
        Environment.push_back(nullptr);
        const pid_t Child = ::fork();
        if (Child == 0) {
            ::dup2(Pipe[1], STDOUT_FILENO);
            ::close(Pipe[0]);
            ::execve(FI_ENLARGE_PATH, Arguments, Environment.data());
            ::_exit(127);
        }
        ::close(Pipe[1]);
        // The first bytes arrive once the image is whole in the temporary
        // file; nobody reads on, so the copy waits on the full pipe.
        pollfd Ready{Pipe[0], POLLIN, 0};
        const bool Arrived = ::poll(&Ready, 1, 120000) == 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(Arrived) << C.First;
        EXPECT_EQ(Left("tmp").size(), 1u) << C.First;
        ::kill(Child, C.First);
        if (C.Second != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ::kill(Child, C.Second);
        }
        // Reading on changes nothing once the program has ended. Under
        // ThreadSanitizer it has not: the runtime holds a signal back until
        // the blocked write returns.
        char Bytes[65536];
        while (::read(Pipe[0], Bytes, sizeof Bytes) > 0) {}
        ::close(Pipe[0]);
        const std::optional<int> Status = WaitFor(Child, std::chrono::seconds(120));
        ASSERT_TRUE(Status.has_value()) << C.First << ": the signal did not end the program";
        EXPECT_TRUE(WIFSIGNALED(*Status) && WTERMSIG(*Status) == (C.Second != 0 ? C.Second : C.First)) << C.First;
        EXPECT_TRUE(Left("tmp").empty()) << C.First << ": " << Left("tmp")[0];
    }
}

} // namespace
} // namespace fi::test

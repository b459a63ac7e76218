#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cfloat>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "parallel/MultiCoreProcessing.h"
#include "support/Exceptions.h"
#include "support/FloatEnvironment.h"

namespace fi {
namespace {

// Saves and restores the unit-wide switches that the tests change.
class MultiCoreTest : public testing::Test {
protected:
    void SetUp() override {
        SavedCount = ProcessorCountCache.load();
        SavedEnabled = MultiThreadingEnabled.load();
    }
    void TearDown() override {
        ProcessorCountCache.store(SavedCount);
        MultiThreadingEnabled.store(SavedEnabled);
        EXPECT_EQ(LiveWorkerCount.load(), 0);
    }
    // Pretends to run on Count processors.
    static void UseProcessors(std::int32_t Count) { ProcessorCountCache.store(Count); }

private:
    std::int32_t SavedCount = 0;
    bool SavedEnabled = false;
};

// Records every row range it is given, in call order; only for passes that
// run on the calling thread alone.
class TRangeRecorder : public TMultiCoreProcess {
public:
    std::vector<TRowRange> Ranges;
    std::vector<bool> OnCaller;

protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override {
        Ranges.push_back(*static_cast<TRowRange*>(Data));
        OnCaller.push_back(Thread == nullptr);
    }
};

std::vector<TRowRange> Split(std::int32_t First, std::int32_t Last, std::int32_t MinChunk, std::int32_t Threads) {
    TRangeRecorder Recorder;
    Recorder.RunRange(First, Last, MinChunk, Threads);
    return Recorder.Ranges;
}

void ExpectRanges(const std::vector<TRowRange>& Actual, const std::vector<std::pair<int, int>>& Expected) {
    ASSERT_EQ(Actual.size(), Expected.size());
    for (std::size_t i = 0; i < Expected.size(); ++i) {
        EXPECT_EQ(Actual[i].First, Expected[i].first) << "item " << i;
        EXPECT_EQ(Actual[i].Last, Expected[i].second) << "item " << i;
        EXPECT_EQ(Actual[i].Index, std::int32_t(i));
    }
}

TEST_F(MultiCoreTest, RunRangeChunksWholeRowsAndGivesTheRemainderToTheLastItem) {
    UseProcessors(1);
    ExpectRanges(Split(0, 99, 16, 4), {{0, 24}, {25, 49}, {50, 74}, {75, 99}});
    ExpectRanges(Split(0, 39, 16, 4), {{0, 15}, {16, 39}});
    // More items than threads: each still gets a thread of its own.
    ExpectRanges(Split(0, 9, 1, 4), {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}});
    // Fewer rows than one chunk, and a range that does not start at 0.
    ExpectRanges(Split(5, 14, 16, 4), {{5, 14}});
    ExpectRanges(Split(1, 30, 2, 4), {{1, 7}, {8, 14}, {15, 21}, {22, 30}});
}

TEST_F(MultiCoreTest, EmptyRangeStillRunsOneItem) {
    UseProcessors(1);
    ExpectRanges(Split(3, 2, 16, 4), {{3, 2}});
    ExpectRanges(Split(0, -5, 1, 2), {{0, -5}});
}

TEST_F(MultiCoreTest, RunRangeTreatsAChunkBelowOneRowAsOne) {
    UseProcessors(1);
    ExpectRanges(Split(0, 1, 0, 4), {{0, 0}, {1, 1}});
}

TEST_F(MultiCoreTest, RunRowsVisitsEveryRowOnceAndNothingOfAnEmptyRange) {
    MultiThreadingEnabled.store(true);
    for (std::int32_t Processors : {1, 2, 5}) {
        UseProcessors(Processors);
        std::vector<std::atomic<int>> Visits(44);
        std::atomic<int> Calls{0};
        RunRows(-3, 40, 4, [&](const TRowRange& Rows) {
            ++Calls;
            for (std::int32_t y = Rows.First; y <= Rows.Last; ++y) ++Visits[std::size_t(y + 3)];
        });
        for (std::size_t i = 0; i < Visits.size(); ++i) EXPECT_EQ(Visits[i].load(), 1) << "row " << int(i) - 3;
        EXPECT_EQ(Calls.load(), Processors) << Processors << " processors";
        RunRows(3, 2, 1, [&](const TRowRange&) { ++Calls; });
        EXPECT_EQ(Calls.load(), Processors);
    }
}

TEST_F(MultiCoreTest, ThreadCountFollowsProcessorsAndLiveWorkers) {
    // An executable may start threads from its initialisation on.
    EXPECT_TRUE(MultiThreadingEnabled.load());
    UseProcessors(4);
    MultiThreadingEnabled.store(false);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(1, 16), 1);
    // Until threading is enabled a framework-chosen split is one item.
    ExpectRanges(Split(0, 99, 16, 0), {{0, 99}});

    MultiThreadingEnabled.store(true);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(1, 16), 4);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(2, 16), 8);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(4, 3), 3);
    // Workers of a pass that is still running leave fewer threads to ask for.
    LiveWorkerCount.fetch_add(3);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(1, 16), 1);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(2, 16), 5);
    LiveWorkerCount.fetch_add(10);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(1, 16), 1);
    LiveWorkerCount.fetch_sub(13);

    UseProcessors(1);
    EXPECT_EQ(TMultiCoreProcess::ThreadCount(4, 16), 1);
}

// A process whose items each follow a scripted outcome, recording which
// thread ran them. Each item writes only its own slot.
enum class TOutcome { Succeed, Fail, Abort, ThrowOther, ThrowForeign };

struct TScriptedItem {
    TOutcome Outcome = TOutcome::Succeed;
    std::string Message;
    // The item starts only after this item has ended (-1: at once).
    int After = -1;
    int Spin = 0;
    // Filled by the run.
    int Runs = 0;
    bool OnCaller = false;
    std::thread::id Thread;
    std::atomic<bool> Ended{false};
};

// Raised by the calling thread's item to check that it arrives as itself.
class EOwnFailure : public Exception {
public:
    using Exception::Exception;
};

class TScriptedProcess : public TMultiCoreProcess {
public:
    std::vector<TScriptedItem> Items;
    explicit TScriptedProcess(std::size_t Count) : Items(Count) {}

    void Run() {
        TThreadDataArray Data;
        for (auto& Item : Items) Data.push_back(&Item);
        RunItems(Data);
    }

protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override {
        auto& Item = *static_cast<TScriptedItem*>(Data);
        struct TEnd {
            std::atomic<bool>& Flag;
            ~TEnd() { Flag.store(true); }
        } End{Item.Ended};
        ++Item.Runs;
        Item.OnCaller = Thread == nullptr;
        Item.Thread = std::this_thread::get_id();
        if (Thread != nullptr && Thread->Data() != Data) throw Exception("worker holds the wrong item");
        if (Item.After >= 0) {
            // A failing worker's item ends while its exception unwinds, before
            // the framework records the outcome: wait for that record as well.
            const TScriptedItem& Awaited = Items[std::size_t(Item.After)];
            const bool Recorded = Item.After != 0 && Awaited.Outcome != TOutcome::Succeed;
            while (!Awaited.Ended.load() || (Recorded && Status.load() == StatusOk)) std::this_thread::yield();
        }
        volatile unsigned Sink = 0;
        for (int i = 0; i < Item.Spin; ++i) Sink = Sink + unsigned(i);
        switch (Item.Outcome) {
        case TOutcome::Succeed:
            break;
        case TOutcome::Fail:
            throw Exception(Item.Message);
        case TOutcome::Abort:
            Abort();
        case TOutcome::ThrowOther:
            throw EOwnFailure(Item.Message);
        case TOutcome::ThrowForeign:
            throw 42;
        }
    }
};

// Runs the process and returns the message of what it raised, "" when
// nothing, "<abort>" for the silent abort.
std::string Outcome(TScriptedProcess& Process) {
    try {
        Process.Run();
    } catch (const EAbort&) {
        return "<abort>";
    } catch (const Exception& E) {
        return E.what();
    }
    return "";
}

TEST_F(MultiCoreTest, SingleProcessorRunsEveryItemOnTheCallerInOrder) {
    UseProcessors(1);
    TScriptedProcess Process(5);
    Process.Status.store(TMultiCoreProcess::StatusAborted);
    Process.Run();
    for (auto& Item : Process.Items) {
        EXPECT_EQ(Item.Runs, 1);
        EXPECT_TRUE(Item.OnCaller);
        EXPECT_EQ(Item.Thread, std::this_thread::get_id());
    }
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusAborted);

    // A failure passes straight through and the later items do not run.
    TScriptedProcess Failing(3);
    Failing.Items[1].Outcome = TOutcome::ThrowOther;
    Failing.Items[1].Message = "second";
    EXPECT_THROW(Failing.Run(), EOwnFailure);
    EXPECT_EQ(Failing.Items[2].Runs, 0);
}

TEST_F(MultiCoreTest, CallerRunsTheFirstItemAndWorkersTheRest) {
    UseProcessors(4);
    TScriptedProcess Process(6);
    EXPECT_EQ(Outcome(Process), "");
    EXPECT_TRUE(Process.Items[0].OnCaller);
    EXPECT_EQ(Process.Items[0].Thread, std::this_thread::get_id());
    for (std::size_t i = 1; i < Process.Items.size(); ++i) {
        EXPECT_EQ(Process.Items[i].Runs, 1);
        EXPECT_FALSE(Process.Items[i].OnCaller);
        EXPECT_NE(Process.Items[i].Thread, std::this_thread::get_id());
        for (std::size_t j = 1; j < i; ++j) EXPECT_NE(Process.Items[i].Thread, Process.Items[j].Thread);
    }
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusOk);
}

// Counts the workers alive while the calling thread's item runs.
class TLiveCountProcess : public TMultiCoreProcess {
public:
    std::atomic<int> Waiting{0};
    std::atomic<bool> Release{false};
    int Seen = -1;
    int Workers = 0;

protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void*) override {
        if (Thread != nullptr) {
            Waiting.fetch_add(1);
            while (!Release.load()) std::this_thread::yield();
            return;
        }
        while (Waiting.load() < Workers) std::this_thread::yield();
        Seen = LiveWorkerCount.load();
        Release.store(true);
    }
};

TEST_F(MultiCoreTest, LiveWorkerCountCountsRunningWorkers) {
    UseProcessors(4);
    MultiThreadingEnabled.store(true);
    TLiveCountProcess Process;
    Process.Workers = 4;
    int Items[5] = {};
    Process.RunItems({&Items[0], &Items[1], &Items[2], &Items[3], &Items[4]});
    EXPECT_EQ(Process.Seen, 4);
    EXPECT_EQ(LiveWorkerCount.load(), 0);
}

TEST_F(MultiCoreTest, WorkerFailureIsRaisedAfterEveryItemEnded) {
    UseProcessors(4);
    TScriptedProcess Process(4);
    Process.Items[1].Outcome = TOutcome::Fail;
    Process.Items[1].Message = "worker broke";
    // The other items run to their end although one failed early.
    Process.Items[2].After = 1;
    Process.Items[3].After = 1;
    Process.Items[3].Spin = 100000;
    EXPECT_EQ(Outcome(Process), "worker broke");
    for (auto& Item : Process.Items) EXPECT_EQ(Item.Runs, 1);
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusFailed);

    // The next pass starts clean.
    Process.Items[1].Outcome = TOutcome::Succeed;
    EXPECT_EQ(Outcome(Process), "");
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusOk);
}

TEST_F(MultiCoreTest, FirstFailureMessageIsKept) {
    UseProcessors(4);
    TScriptedProcess Process(4);
    Process.Items[2].Outcome = TOutcome::Fail;
    Process.Items[2].Message = "first";
    Process.Items[1].Outcome = TOutcome::Fail;
    Process.Items[1].Message = "second";
    Process.Items[1].After = 2;
    Process.Items[3].Outcome = TOutcome::Fail;
    Process.Items[3].Message = "third";
    Process.Items[3].After = 1;
    EXPECT_EQ(Outcome(Process), "first");
}

TEST_F(MultiCoreTest, FailureOutranksAbortWhicheverComesFirst) {
    UseProcessors(4);
    for (bool AbortFirst : {true, false}) {
        TScriptedProcess Process(3);
        const int Aborting = AbortFirst ? 1 : 2;
        const int Failing = AbortFirst ? 2 : 1;
        Process.Items[std::size_t(Aborting)].Outcome = TOutcome::Abort;
        Process.Items[std::size_t(Failing)].Outcome = TOutcome::Fail;
        Process.Items[std::size_t(Failing)].Message = "failed";
        Process.Items[2].After = 1;
        EXPECT_EQ(Outcome(Process), "failed") << "abort first: " << AbortFirst;
    }
    // Aborts and a failure after them: the failure's own message arrives.
    TScriptedProcess Process(4);
    Process.Items[1].Outcome = TOutcome::Abort;
    Process.Items[2].Outcome = TOutcome::Abort;
    Process.Items[2].After = 1;
    Process.Items[3].Outcome = TOutcome::Fail;
    Process.Items[3].Message = "late failure";
    Process.Items[3].After = 2;
    EXPECT_EQ(Outcome(Process), "late failure");
}

TEST_F(MultiCoreTest, WorkerAbortIsRaisedAsTheSilentAbort) {
    UseProcessors(4);
    TScriptedProcess Process(3);
    Process.Items[2].Outcome = TOutcome::Abort;
    EXPECT_THROW(Process.Run(), EAbort);
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusAborted);
}

TEST_F(MultiCoreTest, CallerExceptionArrivesAsItselfAfterTheWorkersEnded) {
    UseProcessors(4);
    TScriptedProcess Process(3);
    Process.Items[0].Outcome = TOutcome::ThrowOther;
    Process.Items[0].Message = "caller";
    Process.Items[1].Outcome = TOutcome::Fail;
    Process.Items[1].Message = "worker";
    Process.Items[2].Spin = 1000000;
    try {
        Process.Run();
        ADD_FAILURE() << "nothing raised";
    } catch (const EOwnFailure& E) {
        EXPECT_STREQ(E.what(), "caller");
        EXPECT_TRUE(Process.Items[1].Ended.load());
        EXPECT_TRUE(Process.Items[2].Ended.load());
    }
    EXPECT_EQ(Process.Status.load(), TMultiCoreProcess::StatusFailed);

    TScriptedProcess Aborting(2);
    Aborting.Items[0].Outcome = TOutcome::Abort;
    Aborting.Items[1].Outcome = TOutcome::Fail;
    EXPECT_THROW(Aborting.Run(), EAbort);
}

TEST_F(MultiCoreTest, ForeignExceptionInAWorkerBecomesAFailure) {
    UseProcessors(4);
    TScriptedProcess Process(3);
    Process.Items[1].Outcome = TOutcome::ThrowForeign;
    EXPECT_EQ(Outcome(Process), "Unknown exception in a worker thread");
    for (auto& Item : Process.Items) EXPECT_EQ(Item.Runs, 1);
}

// Many passes with seeded random outcomes and timings; run under the thread
// sanitizer it also proves the status exchange free of data races.
TEST_F(MultiCoreTest, StressRandomFailuresAndAborts) {
    UseProcessors(4);
    std::mt19937 Random(20261209);
    for (int Pass = 0; Pass < 300; ++Pass) {
        const std::size_t Count = 1 + Random() % 24;
        TScriptedProcess Process(Count);
        std::vector<std::string> WorkerMessages;
        bool WorkerAborted = false;
        for (std::size_t i = 0; i < Count; ++i) {
            auto& Item = Process.Items[i];
            const unsigned Roll = Random() % 100;
            Item.Spin = int(Random() % 20000);
            Item.Message = "item " + std::to_string(i);
            if (Roll < 8) Item.Outcome = TOutcome::Fail;
            else if (Roll < 14) Item.Outcome = TOutcome::Abort;
            else if (Roll < 16 && i > 0) Item.Outcome = TOutcome::ThrowForeign;
            if (i == 0) continue;
            if (Item.Outcome == TOutcome::Fail) WorkerMessages.push_back(Item.Message);
            if (Item.Outcome == TOutcome::ThrowForeign) WorkerMessages.push_back("Unknown exception in a worker thread");
            if (Item.Outcome == TOutcome::Abort) WorkerAborted = true;
        }
        const std::string Result = Outcome(Process);
        for (auto& Item : Process.Items) ASSERT_EQ(Item.Runs, 1) << "pass " << Pass;
        ASSERT_EQ(LiveWorkerCount.load(), 0);

        const TOutcome Own = Process.Items[0].Outcome;
        if (Own == TOutcome::Fail) {
            EXPECT_EQ(Result, "item 0") << "pass " << Pass;
        } else if (Own == TOutcome::Abort) {
            EXPECT_EQ(Result, "<abort>") << "pass " << Pass;
        } else if (!WorkerMessages.empty()) {
            EXPECT_NE(std::find(WorkerMessages.begin(), WorkerMessages.end(), Result), WorkerMessages.end())
                << "pass " << Pass << ": " << Result;
        } else {
            EXPECT_EQ(Result, WorkerAborted ? "<abort>" : "") << "pass " << Pass;
        }
    }
}

// Checks, in every item, that the thread computes with the default
// environment: round to nearest, no flush to zero, full extended precision.
class TFloatEnvironmentProcess : public TMultiCoreProcess {
public:
    struct TResult {
        int Rounding = -1;
        double Third = 0;
        double Half = 0;
        double Denormal = 0;
        bool Extended = false;
    };
    std::vector<TResult> Results;

protected:
    void ProcessItem(TMultiCoreProcessThread*, void* Data) override {
        TResult& R = *static_cast<TResult*>(Data);
        R.Rounding = std::fegetround();
        volatile double One = 1.0, Three = 3.0, TwoAndHalf = 2.5, Smallest = DBL_MIN;
        R.Third = One / Three;
        R.Half = std::nearbyint(TwoAndHalf);
        R.Denormal = Smallest / 4.0;
        volatile long double Sum = 1.0L;
        Sum = Sum + LDBL_EPSILON;
        R.Extended = Sum != 1.0L;
    }
};

// Leaves the calling thread as a careless host might: 53-bit x87 precision,
// upward rounding in both units and flush to zero on SSE.
constexpr std::uint16_t SpoiltControlWord = 0x0A7F;
constexpr std::uint32_t SpoiltMxcsr = 0x1F80 | 0x4000 | 0x8000;

void SpoilFloatEnvironment() {
    SetX87ControlWord(SpoiltControlWord);
    SetSseControlStatus(SpoiltMxcsr);
}

TEST_F(MultiCoreTest, EveryThreadComputesWithTheDefaultFloatEnvironment) {
    for (std::int32_t Processors : {4, 1}) {
        UseProcessors(Processors);
        TFloatEnvironmentProcess Process;
        Process.Results.resize(4);
        TThreadDataArray Items;
        for (auto& R : Process.Results) Items.push_back(&R);
        SpoilFloatEnvironment();
        Process.RunItems(Items);
        // The calling thread gets its own environment back.
        const std::uint16_t ControlWordAfter = X87ControlWord();
        const std::uint32_t MxcsrAfter = SseControlStatus() & ~0x3Fu;
        LoadDefaultFloatEnvironment();
        EXPECT_EQ(ControlWordAfter, SpoiltControlWord);
        EXPECT_EQ(MxcsrAfter, SpoiltMxcsr);
        for (auto& R : Process.Results) {
            EXPECT_EQ(R.Rounding, FE_TONEAREST);
            EXPECT_EQ(R.Third, 1.0 / 3.0);
            EXPECT_EQ(R.Half, 2.0);
            EXPECT_EQ(R.Denormal, DBL_MIN / 4.0);
            EXPECT_TRUE(R.Extended);
        }
    }
}

} // namespace
} // namespace fi

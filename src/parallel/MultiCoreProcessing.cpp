#include "parallel/MultiCoreProcessing.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "support/Exceptions.h"
#include "support/FloatEnvironment.h"
#include "support/ModuleEntry.h"

namespace fi {

std::atomic<std::int32_t> LiveWorkerCount{0};
std::atomic<bool> MultiThreadingEnabled{false};
std::atomic<std::int32_t> ProcessorCountCache{0};

void EnableMultiThreading() { MultiThreadingEnabled.store(true); }

namespace {

const char* const SUnknownWorkerFailure = "Unknown exception in a worker thread";
const char* const SWorkerNotStarted = "Could not start a worker thread: %s";

} // namespace

std::int32_t TMultiCoreProcess::ProcessorCount() {
    std::int32_t Count = ProcessorCountCache.load();
    if (Count == 0) {
        Count = std::max<std::int32_t>(1, SystemProcessorCount());
        ProcessorCountCache.store(Count);
    }
    return Count;
}

std::int32_t TMultiCoreProcess::ThreadCount(std::int32_t Factor, std::int32_t MaxThreads) {
    const std::int32_t P = MultiThreadingEnabled.load() ? ProcessorCount() : 1;
    if (P < 2) return P;
    const std::int32_t Wanted = Factor * P - LiveWorkerCount.load();
    return std::max<std::int32_t>(1, std::min(Wanted, MaxThreads));
}

void TMultiCoreProcess::WorkerFailed(const char* Message) {
    // Status never leaves StatusFailed once set, so exactly one failing
    // worker sees another value here and owns ErrorMessage.
    if (Status.exchange(StatusFailed) != StatusFailed) ErrorMessage = Message;
}

void TMultiCoreProcess::WorkerAborted() {
    // A failure outranks an abort: only a clean status becomes "aborted".
    std::int32_t Expected = StatusOk;
    Status.compare_exchange_strong(Expected, StatusAborted);
}

void TMultiCoreProcess::RunItems(const TThreadDataArray& Items) {
    if (Items.empty()) return;
    // The calling thread computes in the default environment too, and gets
    // its own back afterwards.
    const TDefaultFloatScope FloatScope;
    if (ProcessorCount() <= 1) {
        for (void* Item : Items) ProcessItem(nullptr, Item);
        return;
    }

    Status.store(StatusOk);
    ErrorMessage.clear();
    std::vector<std::unique_ptr<TMultiCoreProcessThread>> Workers;
    Workers.reserve(Items.size() - 1);
    // Joins in list order on every way out, before anything is raised.
    struct TJoinAll {
        std::vector<std::unique_ptr<TMultiCoreProcessThread>>& List;
        ~TJoinAll() {
            for (auto& Worker : List) Worker.reset();
        }
    } JoinAll{Workers};

    try {
        for (std::size_t i = 1; i < Items.size(); ++i)
            Workers.push_back(std::make_unique<TMultiCoreProcessThread>(this, &TMultiCoreProcess::ProcessItem, Items[i]));
    } catch (const std::system_error& E) {
        throw Exception(FormatText(SWorkerNotStarted, E.what()));
    }

    try {
        ProcessItem(nullptr, Items[0]);
    } catch (...) {
        Status.store(StatusFailed);
        throw;
    }

    for (auto& Worker : Workers) Worker.reset();
    switch (Status.load()) {
    case StatusFailed:
        throw Exception(ErrorMessage);
    case StatusAborted:
        Abort();
    default:
        break;
    }
}

void TMultiCoreProcess::RunRange(std::int32_t First, std::int32_t Last, std::int32_t MinChunk, std::int32_t Threads) {
    if (Threads == 0) Threads = ThreadCount(1, 16);
    // A chunk of fewer than one row would divide by zero below.
    MinChunk = std::max<std::int32_t>(1, MinChunk);
    const std::int32_t Count = Last - First + 1;
    const std::int32_t Chunk = std::max(MinChunk, Threads > 0 ? Count / Threads : Count);
    const std::int32_t N = std::max<std::int32_t>(1, Count / Chunk);

    std::vector<TRowRange> Ranges(static_cast<std::size_t>(N));
    TThreadDataArray Items(static_cast<std::size_t>(N));
    for (std::int32_t i = 0; i < N; ++i) {
        Ranges[i] = TRowRange{First + Chunk * i, First + Chunk * (i + 1) - 1, i};
        Items[i] = &Ranges[i];
    }
    // The last chunk takes the remainder.
    Ranges[N - 1].Last = Last;
    RunItems(Items);
}

TMultiCoreProcessThread::TMultiCoreProcessThread(TMultiCoreProcess* Process, TMultiCoreProcess::TMethod AMethod,
                                                 void* Data)
    : Owner(Process), Method(AMethod), ItemData(Data) {
    // Counted before the thread exists, so its decrement can never come first.
    LiveWorkerCount.fetch_add(1);
    try {
        Thread = std::thread(&TMultiCoreProcessThread::Execute, this);
    } catch (...) {
        LiveWorkerCount.fetch_sub(1);
        throw;
    }
}

TMultiCoreProcessThread::~TMultiCoreProcessThread() {
    // The join also orders the worker's last writes before the caller's reads.
    if (Thread.joinable()) Thread.join();
}

void TMultiCoreProcessThread::Execute() {
    TMultiCoreProcess* Process = Owner.load();
    // A worker is the module's own thread: its faults are the module's, and
    // it computes in the module's environment.
    const TModuleEntry Entry;
    try {
        (Process->*Method)(this, ItemData);
    } catch (const EAbort&) {
        Process->WorkerAborted();
    } catch (const std::exception& E) {
        Process->WorkerFailed(E.what());
    } catch (...) {
        // Escaping the thread would terminate the whole program.
        Process->WorkerFailed(SUnknownWorkerFailure);
    }
    Owner.store(nullptr);
    LiveWorkerCount.fetch_sub(1);
}

namespace {
class TRowsProcess : public TMultiCoreProcess {
public:
    explicit TRowsProcess(const std::function<void(const TRowRange&)>& ABody) : Body(ABody) {}
    void ProcessItem(TMultiCoreProcessThread*, void* Data) override { Body(*static_cast<const TRowRange*>(Data)); }

private:
    const std::function<void(const TRowRange&)>& Body;
};
} // namespace

void RunRows(std::int32_t First, std::int32_t Last, std::int32_t MinChunk,
             const std::function<void(const TRowRange&)>& Body) {
    if (Last < First) return;
    TRowsProcess Process(Body);
    Process.RunRange(First, Last, MinChunk, 0);
}

} // namespace fi

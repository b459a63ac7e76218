#pragma once
// Spreads one pass of independent work items over the processors. The calling
// thread runs the first item itself, every other item gets a worker thread of
// its own, and a failure or abort raised in a worker is carried back to the
// caller as an exception once every worker has ended. Items must write
// disjoint outputs; there are no locks, only atomics.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fi {

class TMultiCoreProcessThread;

// One untyped pointer per work item, handed to ProcessItem unchanged.
using TThreadDataArray = std::vector<void*>;

// The work item of RunRange: rows First..Last (inclusive) and the 0-based
// position of the chunk.
struct TRowRange {
    std::int32_t First;
    std::int32_t Last;
    std::int32_t Index;
};

// Worker threads that exist and have not finished their item, over every
// process of the program.
extern std::atomic<std::int32_t> LiveWorkerCount;

// False until the module is fully loaded; while it is false ThreadCount
// answers 1, so passes that let the framework choose stay on the caller.
extern std::atomic<bool> MultiThreadingEnabled;

// The processor count read from the system, kept after the first read;
// 0 means "not read yet" (storing 0 makes the next ProcessorCount read again).
extern std::atomic<std::int32_t> ProcessorCountCache;

// Sets MultiThreadingEnabled; called once the module may start threads.
void EnableMultiThreading();

// Platform layer: the number of processors the system lets this process use.
std::int32_t SystemProcessorCount();

class TMultiCoreProcess {
public:
    // Values of Status.
    enum : std::int32_t { StatusOk = 0, StatusFailed = 1, StatusAborted = 2 };

    // The operation a worker runs: ProcessItem bound to its process.
    using TMethod = void (TMultiCoreProcess::*)(TMultiCoreProcessThread* Thread, void* Data);

    // Outcome of the workers of the current or last pass.
    std::atomic<std::int32_t> Status{StatusOk};
    // The message of the first worker failure of the pass.
    std::string ErrorMessage;

    TMultiCoreProcess() = default;
    virtual ~TMultiCoreProcess() = default;
    TMultiCoreProcess(const TMultiCoreProcess&) = delete;
    TMultiCoreProcess& operator=(const TMultiCoreProcess&) = delete;

    // The number of processors the program may run on, read once.
    static std::int32_t ProcessorCount();
    // Factor x processors less the live workers, clamped to 1..MaxThreads;
    // the processor count itself (1) on a single processor or while
    // multi-threading is not enabled.
    static std::int32_t ThreadCount(std::int32_t Factor, std::int32_t MaxThreads);

    // Runs ProcessItem once per element of Items and returns when all have
    // ended. Raises the first worker failure's message as fi::Exception,
    // fi::EAbort when a worker aborted and none failed, or the calling
    // thread's own exception as itself.
    void RunItems(const TThreadDataArray& Items);

    // Splits First..Last (inclusive) into chunks of whole rows, at least
    // MinChunk rows each, and runs one TRowRange item per chunk.
    // Threads = 0 lets the framework decide (ThreadCount(1, 16)).
    void RunRange(std::int32_t First, std::int32_t Last, std::int32_t MinChunk, std::int32_t Threads);

protected:
    // Processes one item. Thread is the worker that runs it, or null on the
    // calling thread, the only one that may report progress.
    virtual void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) = 0;

private:
    friend class TMultiCoreProcessThread;
    void WorkerFailed(const char* Message);
    void WorkerAborted();
};

// A worker: starts running its item at construction, is joined on destruction.
class TMultiCoreProcessThread {
public:
    TMultiCoreProcessThread(TMultiCoreProcess* Process, TMultiCoreProcess::TMethod Method, void* Data);
    ~TMultiCoreProcessThread();
    TMultiCoreProcessThread(const TMultiCoreProcessThread&) = delete;
    TMultiCoreProcessThread& operator=(const TMultiCoreProcessThread&) = delete;

    void* Data() const { return ItemData; }
    // The owning process while the item runs; null once it has ended.
    TMultiCoreProcess* Process() const { return Owner.load(); }

private:
    void Execute();

    std::atomic<TMultiCoreProcess*> Owner;
    TMultiCoreProcess::TMethod Method;
    void* ItemData;
    // Declared last: the thread starts only once the fields above are set.
    std::thread Thread;
};

// Runs Body once per chunk of the rows First..Last as RunRange splits them,
// on as many threads as the framework offers, for work whose rows are
// independent of each other. An empty range runs nothing.
void RunRows(std::int32_t First, std::int32_t Last, std::int32_t MinChunk,
             const std::function<void(const TRowRange&)>& Body);

} // namespace fi

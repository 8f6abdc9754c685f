#pragma once
// Transfer threads run once and end by themselves. The data module keeps them in a TWorkerSet so
// that shut-down can stop and join every one before it frees what they use; finished threads are
// reaped whenever a new one starts.

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orb {

class TWorkerThread {
public:
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Start();
    // Asks the thread to end soon: sets the flag and wakes blocking calls (see Abort).
    void RequestStop();
    void Join();
    bool Finished() const { return finished_.load(); }
    bool StopRequested() const { return stop_.load(); }
    // The thread's result code, valid once Finished() (0 = success for the file threads).
    int ReturnValue() const { return returnValue_.load(); }

protected:
    TWorkerThread() = default;
    virtual void Execute() = 0;
    // Called from RequestStop in the stopping thread: wake a blocked socket read and the like.
    virtual void Abort() {}
    void SetReturnValue(int v) { returnValue_ = v; }
    const std::atomic<bool>& StopFlag() const { return stop_; }

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> returnValue_{0};
};

class TWorkerSet {
public:
    ~TWorkerSet() { StopAll(); }
    // Starts the thread and keeps it until it has finished and been reaped.
    void Start(std::unique_ptr<TWorkerThread> worker);
    // Joins and frees the threads that have ended.
    void Reap();
    // Stops every thread and joins it; used at shut-down.
    void StopAll();
    size_t Count() const;

private:
    mutable std::mutex mu_;
    std::vector<std::unique_ptr<TWorkerThread>> workers_;
};

}  // namespace orb

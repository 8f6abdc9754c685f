#pragma once
// TPlayerThread: replays a recording file with the timing it had in the room. Voice (kind 27) is
// played by this thread itself; every other message is handed to the main thread by a synchronous
// call, so the data module's handlers never run beside the main thread. A jump replays everything
// up to its target at once, without voice and without pointer moves.
//
// Timing follows one timeline from the first message: a message is due at the start time plus the
// recorded time since the first message, where gaps longer than 10 seconds (and messages stamped
// earlier than the one before) count as 0. Slow dispatches therefore never add up to drift. Waits
// are cut in short slices of the clock, so stopping, pausing and jumping take effect at once, and a
// pause, a buffering wait or a jump moves the timeline instead of being caught up afterwards.
//
// Without timing (no-timing replay and jumps) nothing is waited for, so messages are read ahead and
// handed to the main thread in batches: one synchronous call runs a batch in order, stopping at
// once when a stop, a pause, a jump request or the end of the no-timing replay comes in between;
// what it did not reach is replayed next. The player window hears the mode and the position once
// per batch.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "loop/event_loop.h"
#include "playback/playback_shared.h"
#include "playback/recording_reader.h"
#include "protocol/vcr_header.h"

namespace orb::playback {

// The main-thread side of the replay.
class IReplayTarget {
public:
    virtual ~IReplayTarget() = default;
    // One recorded message (header at 0, body from 22), in the main thread.
    virtual void ReplayRecord(const TVCRHeader& header, std::span<const uint8_t> message) = 0;
    // Before a jump backwards: boards, chat and lists are emptied, in the main thread.
    virtual void ClearRoomViews() = 0;
};

// Recorded voice, played in the replay thread.
class IReplayVoice {
public:
    virtual ~IReplayVoice() = default;
    virtual void PlayVoice(int32_t sender, std::span<const uint8_t> body) = 0;
};

struct TPlayerThreadConfig {
    std::string fileName;
    bool noTiming = false;
    bool hasHead = true;
    WindowHandle playerWindow = 0;  // status, position and end notices
    WindowHandle mainWindow = 0;    // WM_APP_PLAYBACKSTARTED
    // Makes the replay players once the room settings message is there (in the main thread); the
    // result stays owned by the caller. Unset: the voice given to the constructor is used.
    std::function<IReplayVoice*(int32_t codecIndex)> voiceFactory;
};

class TPlayerThread {
public:
    static constexpr int64_t kMaxWaitedGapMs = 10000;
    static constexpr int64_t kMinWaitMs = 11;
    static constexpr int64_t kBufferingWaitMs = 3000;
    // Longest single sleep: how soon a stop, a pause or a jump is seen.
    static constexpr int64_t kSliceMs = 20;
    // A batch without timing: at most this many messages, and (after its first) only what one
    // read of the file brought in. It holds the main thread at most about kBatchMs, so the
    // windows keep painting during a long jump; what it did not reach goes in the next.
    static constexpr size_t kBatchMessages = 4096;
    static constexpr int64_t kBatchMs = 16;

    // Created suspended. The voice may be null (no voice is played).
    TPlayerThread(IEventLoop& loop, TPlayerThreadConfig config, TPlaybackShared& shared, IReplayTarget& target,
                  IReplayVoice* voice);
    // Terminates and waits (never from inside a message this thread dispatches).
    ~TPlayerThread();
    TPlayerThread(const TPlayerThread&) = delete;
    TPlayerThread& operator=(const TPlayerThread&) = delete;

    // False when the recording file cannot be opened.
    bool Opened() const { return reader_.IsOpen(); }
    // The codec index of the recording (read once the first message is there).
    int32_t CodecIndex() const { return codecIndex_; }

    // Starts the thread the first time; later calls end a pause.
    void Resume();
    // Holds the replay (the timeline waits with it).
    void Suspend();
    bool Suspended() const { return suspended_.load(); }

    // The slider's release: at rest it starts a jump to target; during a running jump it stops that
    // jump where it is. Target and request change together.
    void ReleaseSlider(uint32_t target);
    bool Jumping() const { return fast_.load(); }

    void SetNoTiming(bool on) { noTiming_.store(on); }

    // Asks the thread to end and releases a dispatch that waits for the main thread.
    void Terminate();
    void WaitFor();
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }
    uint32_t Counter() const { return counter_.load(); }

private:
    void Execute();
    // Waits until the clock reaches `due`, in slices; a pause shifts `due` by its length. False when
    // a stop or a jump request cut the wait short.
    bool WaitUntil(int64_t& due);
    void HoldWhilePaused();
    TNextResult ReadNext();
    // The bytes that may be read now and whether more can come.
    int64_t Available(bool& complete);
    void DispatchRecord(bool voice);
    // Replays the current message and up to `limit` - 1 more without timing, voice or pointer
    // moves, as one call into the main thread. jump: a jump's batch (ends when the jump stops),
    // else a no-timing one (ends when no-timing does).
    void DispatchBatch(uint32_t limit, bool jump);
    void SeekToRecord(uint32_t target);
    // Bookkeeping of one replayed message on the timeline.
    void Advance();
    void UpdateEndBound();
    bool TakeJump(uint32_t& target);
    void Post(WindowHandle w, uint32_t msg, std::intptr_t wp, std::intptr_t lp);

    IEventLoop& loop_;
    TPlayerThreadConfig config_;
    TPlaybackShared& shared_;
    IReplayTarget& target_;
    IReplayVoice* voice_;
    TRecordingReader reader_;
    int32_t codecIndex_ = 0;
    bool voiceMade_ = false;

    TVCRHeader header_;
    std::span<const uint8_t> current_;  // the current message: in message_ or among the reader's bytes
    std::vector<uint8_t> message_;
    // Messages read ahead but not yet replayed, oldest first: views into the reader's bytes, which
    // hold while no message is read from the file (that happens only once these are used up).
    struct TAhead {
        TVCRHeader header;
        std::span<const uint8_t> message;
    };
    std::deque<TAhead> ahead_;
    int64_t completeSize_ = -1;  // the file's size once it is complete

    // Timeline (only this thread).
    bool first_ = true;
    double firstTime_ = 0;
    double previousTime_ = 0;
    int64_t logicalMs_ = 0;   // recorded time of the current message on the timeline
    int64_t startMs_ = 0;     // clock time at which the timeline is at 0

    std::atomic<uint32_t> counter_{0};
    std::atomic<bool> noTiming_{false};
    std::atomic<bool> fast_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> inDispatch_{false};
    std::atomic<bool> jumpPending_{false};  // a cheap look without the lock
    std::mutex mu_;
    std::condition_variable cv_;
    bool jumpRequested_ = false;  // under mu_, with jumpTarget_
    uint32_t jumpTarget_ = 0;
    bool started_ = false;
    std::thread thread_;
};

}  // namespace orb::playback

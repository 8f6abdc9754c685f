#include "playback/player_thread.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "protocol/message_kinds.h"
#include "protocol/wm_app.h"

namespace orb::playback {

TPlayerThread::TPlayerThread(IEventLoop& loop, TPlayerThreadConfig config, TPlaybackShared& shared,
                             IReplayTarget& target, IReplayVoice* voice)
    : loop_(loop), config_(std::move(config)), shared_(shared), target_(target), voice_(voice) {
    noTiming_.store(config_.noTiming);
    reader_.Open(config_.fileName, config_.hasHead);
}

TPlayerThread::~TPlayerThread() {
    Terminate();
    WaitFor();
}

void TPlayerThread::Resume() {
    std::lock_guard<std::mutex> lock(mu_);
    suspended_.store(false);
    cv_.notify_all();
    if (!started_ && !terminated_.load()) {
        started_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
}

void TPlayerThread::Suspend() {
    std::lock_guard<std::mutex> lock(mu_);
    if (started_) suspended_.store(true);
}

void TPlayerThread::ReleaseSlider(uint32_t target) {
    std::lock_guard<std::mutex> lock(mu_);
    if (fast_.load()) {
        // A release during a running jump stops it where it is.
        fast_.store(false);
        jumpRequested_ = false;
    } else {
        jumpRequested_ = true;
        jumpTarget_ = target;
    }
    jumpPending_.store(jumpRequested_);
    cv_.notify_all();
}

bool TPlayerThread::TakeJump(uint32_t& target) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!jumpRequested_) return false;
    jumpRequested_ = false;
    jumpPending_.store(false);
    target = jumpTarget_;
    fast_.store(true);
    return true;
}

void TPlayerThread::Terminate() {
    std::lock_guard<std::mutex> lock(mu_);
    terminated_.store(true);
    cv_.notify_all();
}

void TPlayerThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TPlayerThread::Post(WindowHandle w, uint32_t msg, std::intptr_t wp, std::intptr_t lp) {
    if (w) loop_.Post(w, msg, wp, lp);
}

void TPlayerThread::HoldWhilePaused() {
    if (!suspended_.load()) return;
    IClock& clock = loop_.Clock();
    const int64_t from = clock.NowMs();
    std::unique_lock<std::mutex> lock(mu_);
    while (suspended_.load() && !terminated_.load())
        cv_.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    lock.unlock();
    // The timeline waits with the pause.
    startMs_ += clock.NowMs() - from;
}

bool TPlayerThread::WaitUntil(int64_t& due) {
    IClock& clock = loop_.Clock();
    for (;;) {
        if (terminated_.load() || jumpPending_.load()) return false;
        if (suspended_.load()) {
            const int64_t before = startMs_;
            HoldWhilePaused();
            due += startMs_ - before;
            continue;
        }
        const int64_t now = clock.NowMs();
        if (now >= due) return true;
        clock.SleepMs(std::min(due - now, kSliceMs));
    }
}

void TPlayerThread::UpdateEndBound() {
    const bool complete = shared_.Complete();
    reader_.SetEndBound(ReplayEndBound(shared_.TotalSize(), reader_.HasHead(), complete,
                                       complete ? reader_.FileSize() : -1));
}

int64_t TPlayerThread::Available(bool& complete) {
    // Completeness is read before the byte count: bytes that arrived with the end are then seen.
    complete = shared_.Complete();
    if (!complete) {
        UpdateEndBound();
        return shared_.GetAvailableBytes();
    }
    // A complete file no longer changes: its size is asked once.
    if (completeSize_ < 0) completeSize_ = reader_.FileSize();
    reader_.SetEndBound(ReplayEndBound(shared_.TotalSize(), reader_.HasHead(), true, completeSize_));
    return std::max(shared_.GetAvailableBytes(), completeSize_);
}

TNextResult TPlayerThread::ReadNext() {
    if (!ahead_.empty()) {
        header_ = ahead_.front().header;
        current_ = ahead_.front().message;
        ahead_.pop_front();
        counter_.fetch_add(1);
        return TNextResult::Message;
    }
    bool complete = false;
    const int64_t available = Available(complete);
    TNextResult r = reader_.ReadNextRecord(available, complete, header_, message_);
    if (r != TNextResult::Message) return r;
    current_ = message_;
    counter_.fetch_add(1);
    if (!voiceMade_) {
        // The room settings message is the first one; a stream may not have held it when the
        // replay was started, so its codec is read once it is there.
        voiceMade_ = true;
        codecIndex_ = reader_.ReadCodecIndex(available);
        if (config_.voiceFactory) {
            IReplayVoice* made = nullptr;
            const int32_t codec = codecIndex_;
            loop_.InvokeSync([&] { made = config_.voiceFactory(codec); }, &terminated_);
            voice_ = made;
        }
    }
    return r;
}

void TPlayerThread::Advance() {
    if (first_) {
        first_ = false;
        firstTime_ = header_.time;
        previousTime_ = header_.time;
        logicalMs_ = 0;
    }
    double gap = std::round((header_.time - previousTime_) * 86400000.0);
    if (!(gap >= 0) || gap > double(kMaxWaitedGapMs)) gap = 0;  // also NaN
    logicalMs_ += int64_t(gap);
    previousTime_ = header_.time;
    double elapsed = std::round((header_.time - firstTime_) * 86400000.0);
    if (!(elapsed >= 0) || elapsed > 1e12) elapsed = 0;
    shared_.SetElapsedMs(int64_t(elapsed));
}

void TPlayerThread::DispatchRecord(bool voice) {
    const uint16_t kind = header_.kind;
    if (kind == vkVoiceIn) {
        if (voice && voice_) {
            try {
                voice_->PlayVoice(header_.sender,
                                  current_.subspan(TVCRHeader::kSize));
            } catch (...) {
            }
        }
        return;
    }
    if (kind == vkBoardPointer && !voice) return;
    inDispatch_.store(true);
    loop_.InvokeSync(
        [this] {
            try {
                target_.ReplayRecord(header_, current_);
            } catch (...) {
            }
        },
        &terminated_);
    inDispatch_.store(false);
}

void TPlayerThread::DispatchBatch(uint32_t limit, bool jump) {
    // Read ahead first (the file is read here, in this thread, not in the main thread's call).
    // The batch takes what the reader holds already, as views without a copy: one read of the
    // file serves it, and the main thread reads each message straight from there.
    bool complete = false;
    const int64_t available = Available(complete);
    const size_t most = std::min<size_t>(limit, kBatchMessages);
    TAhead a;
    while (ahead_.size() + 1 < most && reader_.ViewNextRecord(available, a.header, a.message) == TNextResult::Message)
        ahead_.push_back(a);
    // Whether the batch may go on to its next message: checked between messages, in the main
    // thread, so a stop, pause or jump asked for by a replayed message takes effect at once.
    auto goOn = [this, jump] {
        if (terminated_.load()) return false;
        // A jump goes on through a pause, as it always has; the no-timing replay holds for it.
        return jump ? fast_.load() : !suspended_.load() && noTiming_.load() && !jumpPending_.load();
    };
    auto replay = [this] {
        if (header_.kind == vkVoiceIn || header_.kind == vkBoardPointer) return;
        try {
            target_.ReplayRecord(header_, current_);
        } catch (...) {
        }
    };
    inDispatch_.store(true);
    loop_.InvokeSync(
        [&] {
            IClock& clock = loop_.Clock();
            const int64_t until = clock.NowMs() + kBatchMs;
            replay();
            while (!ahead_.empty() && goOn() && clock.NowMs() < until) {
                ReadNext();
                Advance();
                replay();
            }
        },
        &terminated_);
    inDispatch_.store(false);
}

void TPlayerThread::SeekToRecord(uint32_t target) {
    if (target < counter_.load()) {
        // Backwards: the room views start empty and everything up to the target is replayed.
        inDispatch_.store(true);
        loop_.InvokeSync(
            [this] {
                try {
                    target_.ClearRoomViews();
                } catch (...) {
                }
            },
            &terminated_);
        inDispatch_.store(false);
        reader_.Rewind();
        ahead_.clear();
        counter_.store(0);
        first_ = true;
        logicalMs_ = 0;
    }
    while (fast_.load() && !terminated_.load() && counter_.load() < target) {
        TNextResult r = ReadNext();
        if (r != TNextResult::Message) break;  // the jump ends at the end or where the download is
        Advance();
        Post(config_.playerWindow, WM_APP_PLAYERMODE, 1, 0);
        DispatchBatch(target - counter_.load() + 1, true);
        Post(config_.playerWindow, WM_APP_PLAYERPOSITION, std::intptr_t(counter_.load()), 1);
    }
    // Under the lock: a release that comes now starts a new jump instead of stopping this one.
    std::lock_guard<std::mutex> lock(mu_);
    fast_.store(false);
}

void TPlayerThread::Execute() {
    IClock& clock = loop_.Clock();
    Post(config_.mainWindow, WM_APP_PLAYBACKSTARTED, 0, 0);
    reader_.Rewind();
    ahead_.clear();
    counter_.store(0);
    startMs_ = clock.NowMs();
    while (!terminated_.load()) {
        HoldWhilePaused();
        if (terminated_.load()) break;
        TNextResult r = ReadNext();
        if (r == TNextResult::End) break;
        if (r == TNextResult::Message) {
            const bool wasFirst = first_;
            Advance();
            if (wasFirst) startMs_ = clock.NowMs();
            Post(config_.playerWindow, WM_APP_PLAYERMODE, 0, 0);
            bool dispatch = true;
            if (noTiming_.load()) {
                DispatchBatch(kBatchMessages, false);
                dispatch = false;
            } else {
                int64_t due = startMs_ + logicalMs_;
                // Messages close together are not separated by a sleep; the timeline absorbs it.
                if (due - clock.NowMs() >= kMinWaitMs && !WaitUntil(due)) {
                    // Cut short: a stop ends here; a jump replays this message quickly first.
                    if (terminated_.load()) break;
                }
            }
            if (dispatch) DispatchRecord(!jumpPending_.load());
            Post(config_.playerWindow, WM_APP_PLAYERPOSITION, std::intptr_t(counter_.load()), 0);
        } else {
            Post(config_.playerWindow, WM_APP_PLAYERBUFFERING, 0, 0);
            int64_t due = clock.NowMs() + kBufferingWaitMs;
            WaitUntil(due);
            // The timeline goes on from now: nothing is caught up in a burst after buffering.
            startMs_ = clock.NowMs() - logicalMs_;
        }
        uint32_t target = 0;
        if (TakeJump(target)) {
            SeekToRecord(target);
            startMs_ = clock.NowMs() - logicalMs_;
        }
    }
    finished_.store(true);
    Post(config_.playerWindow, WM_APP_PLAYERSTOPPED, 0, 0);
}

}  // namespace orb::playback

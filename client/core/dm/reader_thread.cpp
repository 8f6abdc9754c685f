#include "dm/reader_thread.h"

#include <algorithm>
#include <cstring>

#include "protocol/wm_app.h"

TReaderThread::TReaderThread(orb::TTcpClient* connection, orb::IEventLoop& loop, orb::WindowHandle notifyWindow,
                             DispatchFn dispatch)
    : connection_(connection), loop_(loop), notifyWindow_(notifyWindow), dispatch_(std::move(dispatch)) {}

TReaderThread::~TReaderThread() {
    Terminate();
    WaitFor();
}

void TReaderThread::Resume() {
    if (!thread_.joinable() && !terminated_) thread_ = std::thread([this] { Execute(); });
}

void TReaderThread::Terminate() { terminated_ = true; }

void TReaderThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TReaderThread::ReadExact(void* out, size_t count) {
    auto* p = static_cast<uint8_t*>(out);
    const size_t buffered = std::min(count, readEnd_ - readPos_);
    if (buffered > 0) {
        std::memcpy(p, readBuf_.data() + readPos_, buffered);
        readPos_ += buffered;
        p += buffered;
        count -= buffered;
        if (count == 0) return true;
    }
    readPos_ = readEnd_ = 0;
    // Large bodies go straight into the message stream.
    if (count >= kReadBufferSize) return connection_->ReadExact(p, count);
    // Small messages: one receive usually brings this one and the next few.
    if (readBuf_.size() < kReadBufferSize) readBuf_.resize(kReadBufferSize);
    while (readEnd_ < count) {
        const long n = connection_->ReadSome(readBuf_.data() + readEnd_, kReadBufferSize - readEnd_);
        if (n <= 0) return false;
        readEnd_ += size_t(n);
    }
    std::memcpy(p, readBuf_.data(), count);
    readPos_ = count;
    return true;
}

void TReaderThread::Execute() {
    const auto readExact = [this](void* buf, size_t n) { return ReadExact(buf, n); };
    // Made once: the synchronous call reads the message from the members, so no call allocates.
    const std::function<void()> dispatchCall = [this] {
        try {
            dispatch_(header_, stream_);
        } catch (...) {
            // A failing handler loses its message only.
        }
    };
    while (!terminated_) {
        if (!connection_ || !connection_->Connected()) break;
        TReadResult r = ReadVCRMessage(readExact, header_, stream_);
        if (r != TReadResult::Message) {
            // Past a failed read or a bad length the stream position is lost: never read on from
            // the middle of a message. Shutting down also stops the writer from using the socket.
            connection_->Shutdown();
            break;
        }
        if (terminated_) break;
        loop_.InvokeSync(dispatchCall, &terminated_);
    }
    loop_.Post(notifyWindow_, WM_APP_CONNECTIONLOST, 1, 0);
    finished_ = true;
}

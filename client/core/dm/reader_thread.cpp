#include "dm/reader_thread.h"

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

void TReaderThread::Execute() {
    auto readExact = [this](void* buf, size_t n) { return connection_->ReadExact(buf, n); };
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
        const TVCRHeader header = header_;
        const std::span<const uint8_t> stream(stream_);
        loop_.InvokeSync(
            [&] {
                try {
                    dispatch_(header, stream);
                } catch (...) {
                    // A failing handler loses its message only.
                }
            },
            &terminated_);
    }
    loop_.Post(notifyWindow_, WM_APP_CONNECTIONLOST, 1, 0);
    finished_ = true;
}

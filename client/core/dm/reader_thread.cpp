#include "dm/reader_thread.h"

#include <algorithm>

#include "protocol/wm_app.h"

TReadResult ReadVCRMessage(const std::function<bool(void*, size_t)>& readExact, TVCRHeader& header,
                           std::vector<uint8_t>& stream) {
    stream.clear();
    stream.resize(TVCRHeader::kSize);
    if (!readExact(stream.data(), TVCRHeader::kSize)) return TReadResult::Closed;
    TVCRHeader::Decode(stream, header);
    if (header.bodyLength < 0 || header.bodyLength > kMaxVCRBodyLength) return TReadResult::BadLength;
    constexpr size_t kSlice = 1 << 20;
    size_t left = size_t(header.bodyLength);
    while (left > 0) {
        size_t n = std::min(left, kSlice);
        size_t at = stream.size();
        stream.resize(at + n);
        if (!readExact(stream.data() + at, n)) return TReadResult::Closed;
        left -= n;
    }
    return TReadResult::Message;
}

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

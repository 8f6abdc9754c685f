#pragma once
// The room server's file-transfer port: one request and one reply per connection. Uploads are
// stored by transfer type and file name; downloads are served from that store. Descriptors are
// read and written by hand from the record's offsets (773 bytes: id 0, name s200 at 4, path s200
// at 205, size 406, extension s20 at 410, description s200 at 431, owner s128 at 632, time f64 at
// 761, number 769), independently of the client's encoder, and a stored file can be told to
// misbehave so the client's checks can be tried.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "roomserver/room_server.h"

namespace orb::test {

struct TStoredFile {
    std::string bytes;
    int64_t descriptorSize = -1;   // size the reply's descriptor announces (-1: the true size)
    int64_t headerFileBytes = -1;  // file bytes the reply's header announces (-1: the true size)
    int64_t hangUpAfter = -1;      // reply bytes sent before hanging up (-1: all)
    std::string serverName;        // name in the reply's descriptor (empty: the stored name)
};

inline TStoredFile Stored(std::string bytes, int64_t descriptorSize = -1, int64_t headerFileBytes = -1,
                          int64_t hangUpAfter = -1, std::string serverName = {}) {
    TStoredFile f;
    f.bytes = std::move(bytes);
    f.descriptorSize = descriptorSize;
    f.headerFileBytes = headerFileBytes;
    f.hangUpAfter = hangUpAfter;
    f.serverName = std::move(serverName);
    return f;
}

struct TReceivedTransfer {
    uint16_t kind = 0;
    int32_t sender = 0;
    int16_t room = 0;
    int32_t bodyLength = 0;
    std::vector<uint8_t> descriptor;  // the 773 raw bytes
    std::string bytes;                // an upload's file bytes
};

class TFileTransferPort {
public:
    // Adds the port to the server (before or after Start); Port() names it.
    explicit TFileTransferPort(TRoomServer& server);
    uint16_t Port() const { return port_; }

    // Files of a transfer type (0 document, 1 board image, 2 web link, 3 user picture,
    // 4 presentation, 5 slide).
    void Put(int type, const std::string& name, TStoredFile file);
    // Uploads and downloads of this name are answered with the result code.
    void Refuse(const std::string& name, uint16_t resultCode);
    std::vector<TReceivedTransfer> Uploads() const;
    std::vector<TReceivedTransfer> Requests() const;
    std::string File(int type, const std::string& name) const;
    // Told of every stored upload (transfer type and what arrived) before its reply is sent.
    void OnUpload(std::function<void(int type, const TReceivedTransfer&)> observer);

    static std::string ShortString(const std::vector<uint8_t>& d, size_t offset, size_t capacity);
    static int32_t I32(const std::vector<uint8_t>& d, size_t offset);
    static double F64(const std::vector<uint8_t>& d, size_t offset);

    // Result codes of refusals the port makes on its own.
    static constexpr uint16_t kSizeMismatch = 2;
    static constexpr uint16_t kNotFound = 18;

private:
    void Serve(TTcpClient& socket);

    uint16_t port_ = 0;
    mutable std::mutex mu_;
    std::map<std::pair<int, std::string>, TStoredFile> files_;
    std::map<std::string, uint16_t> refused_;
    std::vector<TReceivedTransfer> uploads_;
    std::vector<TReceivedTransfer> requests_;
    std::function<void(int, const TReceivedTransfer&)> onUpload_;
};

}  // namespace orb::test

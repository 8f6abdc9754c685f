#pragma once
// The room server's file-transfer port for tests: real TCP on loopback, one request and one reply
// per connection. Uploads are stored by type and file name; downloads are served from that store.
// Descriptors are read and written by hand from the record's offsets (773 bytes: id 0, name s200
// at 4, path s200 at 205, size 406, extension s20 at 410, description s200 at 431, owner s128 at
// 632, time f64 at 761, number 769), independently of the client's encoder.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orbtest {

struct StoredFile {
    std::string bytes;
    // Misbehaviour for the client's sake: the size the descriptor announces (-1: the true size),
    // the size the header announces (-1: true), and where to hang up (-1: never).
    int64_t descriptorSize = -1;
    int64_t headerFileBytes = -1;
    int64_t hangUpAfter = -1;
    std::string serverName;  // name put in the reply's descriptor (empty: the stored name)
};

inline StoredFile Stored(std::string bytes, int64_t descriptorSize = -1, int64_t headerFileBytes = -1,
                         int64_t hangUpAfter = -1, std::string serverName = {}) {
    StoredFile f;
    f.bytes = std::move(bytes);
    f.descriptorSize = descriptorSize;
    f.headerFileBytes = headerFileBytes;
    f.hangUpAfter = hangUpAfter;
    f.serverName = std::move(serverName);
    return f;
}

struct ReceivedUpload {
    uint16_t kind = 0;
    int32_t sender = 0;
    int16_t room = 0;
    int32_t bodyLength = 0;
    std::vector<uint8_t> descriptor;  // the 773 raw bytes
    std::string bytes;
};

struct ReceivedRequest {
    uint16_t kind = 0;
    int32_t sender = 0;
    int32_t bodyLength = 0;
    std::vector<uint8_t> descriptor;
};

class FileTransferServer {
public:
    FileTransferServer();
    ~FileTransferServer();
    uint16_t Port() const { return port_; }

    // Files of a transfer type (0 document, 1 board image, 3 user picture, 5 slide).
    void Put(int type, const std::string& name, StoredFile file);
    // Uploads and downloads of this name are answered with the result code.
    void Refuse(const std::string& name, uint16_t resultCode);
    std::vector<ReceivedUpload> Uploads();
    std::vector<ReceivedRequest> Requests();
    bool HasFile(int type, const std::string& name);
    std::string File(int type, const std::string& name);

    // Helpers for reading the raw descriptor fields.
    static std::string ShortString(const std::vector<uint8_t>& d, size_t offset, size_t capacity);
    static int32_t I32(const std::vector<uint8_t>& d, size_t offset);
    static double F64(const std::vector<uint8_t>& d, size_t offset);

private:
    void AcceptLoop();
    void Serve(int fd);

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mu_;
    std::map<std::pair<int, std::string>, StoredFile> files_;
    std::map<std::string, uint16_t> refused_;
    std::vector<ReceivedUpload> uploads_;
    std::vector<ReceivedRequest> requests_;
};

}  // namespace orbtest

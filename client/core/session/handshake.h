#pragma once
// The exchanges on a fresh room connection before the receive thread exists: the version check
// (with the client update download), the login, and the start-up information. Each reads its
// reply itself, consuming exactly the body its header announces, so a short or long reply never
// shifts the stream.

#include <cstdint>
#include <functional>
#include <string>

#include "session/proxy.h"
#include "session/session_records.h"

namespace orb {

// Upper bound of a handshake reply body and of the start-up file; more is not a sane reply.
constexpr int64_t kMaxHandshakeBody = 64 * 1024 * 1024;
// Upper bound of a client installer.
constexpr int64_t kMaxInstallerSize = 512LL * 1024 * 1024;

// Reads and drops count bytes (the rest of a reply the client does not use).
bool DiscardBytes(IByteChannel& ch, int64_t count);
// Copies exactly count bytes from the connection into a new file at path (written under a
// temporary name and renamed). False, with no file left behind, when the read or write fails.
bool ReceiveFile(IByteChannel& ch, int64_t count, const std::string& path);

struct TVersionCheck {
    bool exchanged = false;  // the record went out and a reply header came back
    uint16_t result = 0;     // the reply's result code: non-zero offers an update
};
// Sends this client's TVersionInfo and reads the reply header. A success reply's body is read and
// dropped; on an offer the offer record follows (ReadUpdateOffer).
TVersionCheck CheckClientVersion(IByteChannel& ch);
// The 32-byte record naming the offered version. False when it cannot be read.
bool ReadUpdateOffer(IByteChannel& ch, TVersionInfo& offer);

// The installer's path: <programDir>/Versions/<tick>OrbeloBrowserSetup<version>.exe, with the
// offer's version only when it is safe inside a file name.
std::string InstallerPath(const std::string& programDir, uint64_t tickMs, const TVersionInfo& offer);

enum class TDownloadResult { Received, EmptyOffer, Failed };
// Reads the i32 installer size and exactly that many bytes into path. An installer of size 0, a
// size out of range, or a broken read leave no file.
TDownloadResult ReceiveInstaller(IByteChannel& ch, const std::string& path);

struct TLoginReply {
    bool exchanged = false;
    uint16_t result = 0;  // 0: the login info has been replaced by the server's
};
// Sends the TLoginRequest (user id 0, the info's password and user name) and reads the reply. On 0
// the 1119-byte account replaces info. A success whose body is shorter than the account is a
// failed exchange (result 33).
TLoginReply LoginUser(IByteChannel& ch, TLoginInfo& info);

struct TStartupReply {
    bool received = false;      // the record arrived (and its file, if any, was handled)
    bool fileWritten = false;
    bool fileRefused = false;   // not a plain base name, or it would replace code or a folder of
                                // ours: the bytes were dropped
    bool streamBroken = false;  // the connection can no longer be used for framed traffic
};
// Kind 92 with the own id and room 0, written directly to the connection; the reply's record goes
// into info and its file, if any, into programDir under the record's name. A failed request
// clears the valid and welcome flags.
TStartupReply RequestStartupInfo(IByteChannel& ch, int32_t ownUserId, const std::string& programDir,
                                 TStartupInfo& info);

// The uplink limit for a connection speed: speed / 5 to the nearest integer, less 3072 when that is
// at least 5120, otherwise 2048.
int32_t BandwidthSendLimit(int32_t connectionSpeed);

}  // namespace orb

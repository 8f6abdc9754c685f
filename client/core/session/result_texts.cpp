#include "session/result_texts.h"

#include <array>
#include <cstdio>
#include <string>

namespace orb {

namespace {
// Indexed by the result code of a reply header (and the codes 13, 33 and 35 the client makes).
const std::array<const char*, kServerErrorTextCount> kTexts = {
    "No Error",  // 0
    "Invalid Username or Password.",  // 1
    "Invalid Password or Username.",  // 2
    "You do not have permissions to attend this session.",  // 3
    "",  // 4
    "",  // 5
    "",  // 6
    "This session is still unavailable.",  // 7
    "This session is temporarily unavailable.",  // 8
    "This session has expired.",  // 9
    "Your account is blocked by your host organization.",  // 10
    "Failed getting voice server settings.",  // 11
    "Failed communicating with voice server.\r\nPlease, make sure you are connected to internet and \r\nthere is no firewall or proxy blocking the communication.\r\nIf the problem persists ask your system administrator for further assistance",  // 12
    "Unable to establish a connection to the remote server.\r\nPlease, make sure you are connected to the Internet and \r\nthere is no Proxy or Firewall blocking the communication.\r\nIf the problem persists ask your system administrator for further assistance.",  // 13
    "Unable to activate local voice engine.\r\nPlease make sure you have all audio drivers installed on your system and",  // 14
    "Another user is already logged in with this user ID.",  // 15
    "This file already exists on server.",  // 16
    "The file you are trying to access does not exist on server.",  // 17
    "Invalid Virtual Room Number.",  // 18
    "SYS: Empty queue. Contact Orbelo site for support assistance",  // 19
    "SYS: Wrong verification code. Contact Orbelo site for support assistance",  // 20
    "Your Orbelo Live version is too old. You need to update it.\r\nPlease, visit our web site to get latest Orbelo Live version",  // 21
    "Error occured while trying to upload resource.",  // 22
    "Error occured while trying to delete remote resource. It may be in use by another user.",  // 23
    "SYS: Resource does not exist on server.",  // 24
    "SYS: Unable to delete resource.",  // 25
    "You do not have permission to access the microphone.",  // 26
    "You do not have permission to access white board.",  // 27
    "Your account has expired.",  // 28
    "There are no items on server.",  // 29
    "Unable to open file. Please try again.",  // 30
    "You do not have permission to do this.",  // 31
    "There are no items on server.",  // 32
    "Error performing this operation.",  // 33
    "There are no entries on server.",  // 34
    "Unable to initialize the Audio engine !\r\nThis may be due to a problem in your audio device or a system audio codec is missing.\r\nPlease make sure your audio devices are properly installed and you have the necessary drivers.\r\nIf the problem persists contact a system administrator",  // 35
    "Unable to join this virtual classrom.",  // 36
    "Reached End Of File.",  // 37
    "Playback is temporary disabled on the server.",  // 38
    "Orbelo Recording Module is not installed. \r\nPlease install a new version of Orbelo Browser.",  // 39
    "Unable to start application sharing.",  // 40
    "Failed to update snapshot.",  // 41
    "A Session Recorder is already running.",  // 42
    "Application sharing is already in progress.",  // 43
    "Application Sharing is stopped.",  // 44
    "The Session Recorder is already stopped.",  // 45
    "Invalid Parameter.",  // 46
    "Video broadcast is not available at the moment.",  // 47
    "Video frame is not available.",  // 48
    "Video is not allowed.",  // 49
    "System message: Video frame was skipped.",  // 50
    "This virtual room is full.",  // 51
    "",  // 52
    "The server can't accept more connections at the moment.",  // 53
    "There are no more free microphones in the virtual room.",  // 54
    "",  // 55
    "",  // 56
};
}  // namespace

std::string ServerErrorText(int code) {
    // Codes from the network outside the table are never read out of range, and the user still
    // learns which code it was.
    // Codes without a text of their own get the same, so no box is ever shown empty.
    if (code < 0 || code >= int(kTexts.size()) || *kTexts[static_cast<size_t>(code)] == '\0')
        return "Unknown error (" + std::to_string(code) + ")";
    return kTexts[static_cast<size_t>(code)];
}

std::string AccessDeniedText(int code) {
    char head[64];
    std::snprintf(head, sizeof head, "Access Denied ! [with message code: %d]", code);
    return std::string(head) + "\r\n" + "Error description is: " + "\r\n" + ServerErrorText(code);
}

}  // namespace orb

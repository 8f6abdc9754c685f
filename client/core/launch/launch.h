#pragma once
// The first command-line argument says how a run starts: nothing (log in through the dialog), a
// join link, a play link, the web address of a recording, or the path of a recording file. This
// module classifies it and fills the link values; it touches no window and no connection.
//
// Link syntax (scheme compared without regard to case):
//   ORB6JOIN://server,port,user,password,room
//   ORB6PLAY://server,port,user,password,recording
//   ORB6URL://address-without-http-scheme
// Everything in a link comes from a web page and is untrusted.

#include <string>
#include <string_view>
#include <vector>

namespace orb {

enum LaunchKind : int {
    lkNone = 0,          // log in through the dialog
    lkRecordingFile = 1, // path of a ".ob6" or ".tm6" file
    lkJoinLink = 2,
    lkPlayLink = 3,
    lkRecordingUrl = 4,
};

enum class LinkScheme { Join, Play };

struct TLinkValues {
    std::string server;
    int port = -1;
    std::string userName;
    std::string password;
    int roomNumber = 0;
    std::string recordingName;

    bool Cleared() const {
        return server.empty() && port == -1 && userName.empty() && password.empty() && roomNumber == 0 &&
               recordingName.empty();
    }
};

void ClearLinkParams(TLinkValues& values);

// Exactly two slashes after the first ':' and none at the end; without ':' the trimmed argument.
std::string NormalizeLinkScheme(std::string_view argument);

// True when the trimmed value is not empty, holds exactly four commas, its first field is not blank
// and its second is a port number (1..65535).
bool ValidateLinkParams(std::string_view value);

// Clears the values, then fills them from a valid value list; an invalid list leaves them cleared.
void ParseLinkParams(std::string_view value, LinkScheme scheme, TLinkValues& values);

// Classifies an (already URL-decoded) argument. `value` receives the argument without its scheme:
// the link's value list, the web address with "http://" in front, or the recording path.
LaunchKind ParseLaunchArgument(std::string_view argument, std::string& value, TLinkValues& values);

// Percent escapes (%XX) become bytes; anything malformed stays as it is. '+' is kept: a password
// may hold one.
std::string UrlDecode(std::string_view text);

// What the command line (arguments after the program name) asks for.
struct TLaunchRequest {
    LaunchKind kind = lkNone;
    std::string value;      // see ParseLaunchArgument
    TLinkValues link;
    bool playCommand = false;  // started as "PLAY <path>"
};

// True when the first argument is "PLAY" in any case: the data module's playback switch and the
// classification below decide by this one rule.
bool IsPlayCommand(const std::vector<std::string>& args);

// "PLAY <path>" (PLAY in any case) asks for playback of the file at <path>, kept exactly as typed.
// Otherwise the first argument is classified; a link (scheme in any case, also when its scheme is
// itself percent-encoded) is URL-decoded first, a recording path is kept exactly as typed. Later
// arguments are ignored.
TLaunchRequest ClassifyCommandLine(const std::vector<std::string>& args);

// Checks a recording path before it is opened. Returns an empty text when the file exists and its
// extension is ".ob6" or ".tm6" in any case; otherwise the message to show before ending the run.
std::string CheckRecordingFile(const std::string& path);

}  // namespace orb

#pragma once
// The texts of the server's result codes, as shown to the user.

#include <string>

namespace orb {

constexpr int kServerErrorTextCount = 57;
constexpr int kResultConnectFailed = 13;    // made by the client: the server cannot be reached
constexpr int kResultOperationFailed = 33;  // made by the client: an exchange failed
constexpr int kResultAudioFailed = 35;      // made by the client: audio could not be set up

// The text of a result code 0..56; a code of the table without a text, or one outside the table
// (which only a newer or broken server sends), gives "Unknown error (n)".
std::string ServerErrorText(int code);
// "Access Denied ! [with message code: N]\r\nError description is: \r\n" + the code's text.
std::string AccessDeniedText(int code);

}  // namespace orb

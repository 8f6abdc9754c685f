#pragma once
// What the participant handlers of the data module need of the windows: beeps, notice lines, the
// participants header, the Speak command's look, boxes and the board tools. Unset hooks do nothing,
// so the handlers run headless in tests.

#include <cstdint>
#include <functional>
#include <string>

namespace orb {

struct TParticipantHooks {
    std::function<void(int frequency, int durationMs)> Beep;
    // A notice line in the public chat view from a sender, in a colour (0x00BBGGRR).
    std::function<void(const std::string& sender, const std::string& text, uint32_t colour)> AddNotice;
    // The participants header: " Participants [n]".
    std::function<void(const std::string&)> SetParticipantsCaption;
    std::function<void(bool checked)> SetSpeakChecked;
    std::function<void(int image)> SetSpeakImage;
    std::function<void()> ReleaseSpeakButton;
    // A modal information box (plain text).
    std::function<void(const std::string&)> ShowInformation;
    // After a board right changed: the tool box shown on the private board or with the board
    // right; with resetTool also the board tool "none" and the select button pressed.
    std::function<void(bool resetTool)> BoardRightsChanged;
    // Remembers the control that has the focus before a row is removed (kind 13), and gives the
    // focus back to it afterwards.
    std::function<void()> KeepFocus;
    std::function<void()> RestoreFocus;
};

}  // namespace orb

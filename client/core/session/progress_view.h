#pragma once
// What the session core needs of the progress window: it is a view the core drives while it
// connects, logs in and enters a room. The GUI implements it; tests record the steps.

#include <string>

namespace orb {

class IProgressView {
public:
    virtual ~IProgressView() = default;
    virtual void ShowCentered() = 0;
    virtual void SetRange(int maximum) = 0;
    // Position and activity text; the text is visible when this returns.
    virtual void SetStep(int position, const std::string& text) = 0;
    virtual void HideProgress() = 0;
};

}  // namespace orb

#pragma once

#include "platform/os/windowhandle.h"
#include "platform/ui/messagebox.h"

#include <vector>

class Win32StandingBox;

// The system's own MessageBoxW, owned by the monitor window so that it stays above it. A modal
// box runs on the window's thread, which takes no input while it is up; a standing box runs on
// a thread of its own and leaves the window answering.
class Win32MessageBox final : public MessageBoxService {
public:
    explicit Win32MessageBox(std::string applicationTitle) : ApplicationTitle(std::move(applicationTitle)) {}

    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;
    std::shared_ptr<StandingBox> ShowStanding(const std::string &text, int32_t style,
                                              const std::optional<std::string> &title) override;

    // The window exists only after the services it is built from; 0 leaves a box unowned.
    void SetOwner(WindowHandle window) { Owner = window; }
    // Once the window is unloaded there is nobody to read a message: the boxes still standing
    // close, and no other is shown.
    void Abandon();

private:
    std::string ApplicationTitle;
    WindowHandle Owner = 0;
    std::vector<std::shared_ptr<Win32StandingBox>> Standing;
    bool Abandoned = false;
};

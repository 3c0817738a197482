#pragma once

#include "platform/os/windowhandle.h"
#include "platform/ui/messagebox.h"

// A modal MessageBoxW owned by the monitor window, so that it stays above it and the
// window takes no input while it is up.
class Win32MessageBox final : public MessageBoxService {
public:
    explicit Win32MessageBox(std::string applicationTitle) : ApplicationTitle(std::move(applicationTitle)) {}

    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;

    // The window exists only after the services it is built from; 0 leaves a box unowned.
    void SetOwner(WindowHandle window) { Owner = window; }
    // Once the window is unloaded there is nobody to read a message.
    void Abandon() { Abandoned = true; }

private:
    std::string ApplicationTitle;
    WindowHandle Owner = 0;
    bool Abandoned = false;
};

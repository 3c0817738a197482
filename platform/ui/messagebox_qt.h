#pragma once

#include "platform/ui/messagebox.h"

class QtMessageBox final : public MessageBoxService {
public:
    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;

    // Once the window is unloaded there is nobody to read a message.
    void Abandon() { Abandoned = true; }

private:
    bool Abandoned = false;
};

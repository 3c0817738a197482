#pragma once

#include "platform/messagebox.h"

class QtMessageBox final : public MessageBoxService {
public:
    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;
};

#pragma once

#include "platform/messagebox.h"

#include <functional>
#include <vector>

// Records message boxes instead of showing them, with the time each was shown.
class RecordingMessageBoxes final : public MessageBoxService {
public:
    struct Shown {
        std::string Text;
        int32_t Style = 0;
        std::optional<std::string> Title;
        double At = 0.0;
    };

    explicit RecordingMessageBoxes(std::function<double()> now = [] { return 0.0; })
        : Now(std::move(now))
    {
    }

    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;

    std::vector<std::string> Texts() const;

    std::vector<Shown> Boxes;

private:
    std::function<double()> Now;
};

#pragma once

#include "platform/ui/messagebox.h"

#include <cstdio>

// Message boxes a benchmark prints instead of showing, counted: a run that showed one did
// not measure what it meant to.
class PrintedBoxes final : public MessageBoxService {
public:
    void MessageBox(const std::string &text, int32_t, const std::optional<std::string> &) override
    {
        ++Shown;
        std::fprintf(stderr, "message box: %s\n", text.c_str());
    }
    std::shared_ptr<StandingBox> ShowStanding(const std::string &text, int32_t style,
                                              const std::optional<std::string> &title) override
    {
        MessageBox(text, style, title);
        return std::make_shared<Printed>();
    }

    int Shown = 0;

private:
    struct Printed final : StandingBox {
        bool Standing() const override { return false; }
    };
};

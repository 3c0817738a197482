#include "tests/support/recordingmessageboxes.h"

void RecordingMessageBoxes::MessageBox(const std::string &text, int32_t style,
                                       const std::optional<std::string> &title)
{
    Boxes.push_back({text, style, title, Now()});
}

std::vector<std::string> RecordingMessageBoxes::Texts() const
{
    std::vector<std::string> texts;
    for (const Shown &box : Boxes)
        texts.push_back(box.Text);
    return texts;
}

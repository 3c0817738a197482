#pragma once

#include "platform/ui/messagebox.h"

#include <QMessageBox>
#include <QPointer>

#include <vector>

class QtMessageBox final : public MessageBoxService {
public:
    void MessageBox(const std::string &text, int32_t style,
                    const std::optional<std::string> &title) override;
    std::shared_ptr<StandingBox> ShowStanding(const std::string &text, int32_t style,
                                              const std::optional<std::string> &title) override;

    // The window exists only after the services it is built from; until then a box belongs to
    // whichever window is active.
    void SetOwner(QWidget *window) { Owner = window; }
    // Once the window is unloaded there is nobody to read a message: the boxes still standing
    // close, and no other is shown.
    void Abandon();

private:
    QMessageBox *MakeBox(const std::string &text, int32_t style, const std::optional<std::string> &title);

    QPointer<QWidget> Owner;
    std::vector<QPointer<QMessageBox>> Standing;
    bool Abandoned = false;
};

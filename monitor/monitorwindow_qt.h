#pragma once

#include "monitor/monitorview.h"

#include <QWidget>

#include <map>

// The monitor window in Qt: the controls of the layout, the presses handed on to the
// handlers, and whatever the handlers write shown.
class QtMonitorWindow final : public QWidget, public MonitorView {
public:
    QtMonitorWindow();

    void Wire(MonitorHandlers &handlers);
    QWidget *Widget(Control control) const { return Controls.at(control); }

    std::string Text(Control control) override;
    void SetText(Control control, const std::string &text) override;
    int CheckBoxValue(Control control) override;
    void SetCheckBoxValue(Control control, int value) override;
    WindowHandle Handle() override;
    void Unload() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Build(const ControlLayout &layout);
    void NameForScreenReaders();
    int Pixels(int twips) const;

    std::map<Control, QWidget *> Controls;
    MonitorHandlers *Handlers = nullptr;
};

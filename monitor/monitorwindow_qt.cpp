#include "monitor/monitorwindow_qt.h"

#include "platform/ui/closebox_qt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace {

// The table was drawn for the classic face; where it is missing, a face drawn to the same
// proportions keeps every caption inside its control, and only then the platform's
// sans-serif.
QFont DefaultFont()
{
    QFont font;
    font.setFamilies({QString::fromLatin1(WindowLayout::FontFace), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(WindowLayout::FontPoints);
    return font;
}

QWidget *MakeControl(const ControlLayout &layout, QWidget *window)
{
    const QString text = QString::fromUtf8(layout.Text);
    switch (layout.Kind) {
    case ControlKind::TextBox:
        return new QLineEdit(text, window);
    case ControlKind::CheckBox:
        return new QCheckBox(text, window);
    case ControlKind::Button:
        return new QPushButton(text, window);
    case ControlKind::ReportBox: {
        auto *box = new QPlainTextEdit(text, window);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return box;
    }
    case ControlKind::Label:
        break;
    }
    auto *label = new QLabel(text, window);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void SetCaption(QLabel *label, const QString &caption)
{
    label->setText(caption);
    // Named by another label, it says its caption as its description.
    if (!label->accessibleName().isEmpty())
        label->setAccessibleDescription(caption);
}

} // namespace

QtMonitorWindow::QtMonitorWindow()
{
    setWindowTitle(QString::fromLatin1(WindowLayout::Caption));
    setFont(DefaultFont());
    resize(Pixels(WindowLayout::ClientWidth), Pixels(WindowLayout::ClientHeight));
    for (const ControlLayout &layout : WindowLayout::ControlsInTabOrder())
        Build(layout);
    NameForScreenReaders();
    Controls.at(Control::txChanges)->setFocus();
}

// A label's buddy takes the label's text as its accessible name and is labelled by it. The
// status line, a label itself, would be named by its own caption: it is named by its label
// and says its caption as its description.
void QtMonitorWindow::NameForScreenReaders()
{
    for (const auto &[label, named] : WindowLayout::Labels) {
        auto *caption = static_cast<QLabel *>(Widget(label));
        caption->setBuddy(Widget(named));
        if (auto *line = qobject_cast<QLabel *>(Widget(named))) {
            line->setAccessibleName(caption->text());
            line->setAccessibleDescription(line->text());
        }
    }
    Widget(Control::txChanges)->setAccessibleName(QString::fromUtf8(WindowLayout::ReportBoxName));
}

void QtMonitorWindow::Build(const ControlLayout &layout)
{
    QWidget *control = MakeControl(layout, this);
    control->setGeometry(Pixels(layout.Left), Pixels(layout.Top), Pixels(layout.Width), Pixels(layout.Height));
    if (layout.Bold) {
        QFont bold = control->font();
        bold.setBold(true);
        control->setFont(bold);
    }
    Controls[layout.Id] = control;
}

int QtMonitorWindow::Pixels(int twips) const
{
    return WindowLayout::Pixels(twips, logicalDpiX());
}

void QtMonitorWindow::Wire(MonitorHandlers &handlers)
{
    Handlers = &handlers;
    connect(static_cast<QPushButton *>(Widget(Control::CheckBroker_1)), &QPushButton::clicked, this,
            [&handlers] { handlers.CheckBrokerPressed(1); });
    connect(static_cast<QPushButton *>(Widget(Control::ExitProgram)), &QPushButton::clicked, this,
            [&handlers] { handlers.ExitProgramPressed(); });
}

// The report's lines end in CR LF; the report box keeps them as plain line breaks.
std::string QtMonitorWindow::Text(Control control)
{
    QWidget *widget = Widget(control);
    if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
        return box->toPlainText().replace('\n', QStringLiteral("\r\n")).toStdString();
    if (auto *field = qobject_cast<QLineEdit *>(widget))
        return field->text().toStdString();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text().toStdString();
    return static_cast<QLabel *>(widget)->text().toStdString();
}

void QtMonitorWindow::SetText(Control control, const std::string &text)
{
    QWidget *widget = Widget(control);
    QString shown = QString::fromStdString(text);
    if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
        box->setPlainText(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    else if (auto *field = qobject_cast<QLineEdit *>(widget))
        field->setText(shown);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(shown);
    else
        SetCaption(static_cast<QLabel *>(widget), shown);
}

int QtMonitorWindow::CheckBoxValue(Control control)
{
    switch (static_cast<QCheckBox *>(Widget(control))->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void QtMonitorWindow::SetCheckBoxValue(Control control, int value)
{
    static constexpr Qt::CheckState States[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    static_cast<QCheckBox *>(Widget(control))->setCheckState(States[std::clamp(value, 0, 2)]);
}

WindowHandle QtMonitorWindow::Handle()
{
    return QtCloseBox::HandleOf(this);
}

void QtMonitorWindow::Unload()
{
    close();
}

// The window manager's close requests, however the operator made them, arrive spontaneously
// and are the handlers' to decide; the program's own close(), from Exit, is not.
void QtMonitorWindow::closeEvent(QCloseEvent *event)
{
    if (!event->spontaneous())
        return;
    event->ignore();
    if (Handlers)
        Handlers->CloseRequested();
}

#include "platform/ui/messagebox_qt.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QString CaptionFor(const std::optional<std::string> &title)
{
    if (!title)
        return QCoreApplication::applicationName();
    // Qt puts the application's name in place of an empty window title; a blank keeps it empty.
    if (title->empty())
        return QStringLiteral(" ");
    return QString::fromStdString(*title);
}

} // namespace

void QtMessageBox::MessageBox(const std::string &text, int32_t style,
                              const std::optional<std::string> &title)
{
    if (Abandoned)
        return;
    const QMessageBox::Icon icon =
        style == MessageBoxStyle::OkInformation ? QMessageBox::Information : QMessageBox::NoIcon;
    const std::string shown = ShownPart(text);
    QMessageBox box(icon, CaptionFor(title), QString::fromStdString(shown), QMessageBox::Ok,
                    QApplication::activeWindow());
    // The texts come from relays and managers too: shown as received, never as markup.
    box.setTextFormat(Qt::PlainText);
    // What the box leaves out can still be read behind "Show Details...".
    if (shown != text)
        box.setDetailedText(QString::fromStdString(text));
    box.exec();
}

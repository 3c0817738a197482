#include "platform/messagebox_qt.h"

#include <QApplication>
#include <QMessageBox>

namespace {

constexpr qsizetype ShownCharacters = 2000;

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
    const QString whole = QString::fromStdString(text);
    QMessageBox box(icon, CaptionFor(title), whole.left(ShownCharacters), QMessageBox::Ok,
                    QApplication::activeWindow());
    // The texts come from relays and managers too: shown as received, never as markup.
    box.setTextFormat(Qt::PlainText);
    // A relay's reply can be a megabyte long: a box that size takes seconds to lay out and
    // its OK button ends up off the screen, so the rest goes behind "Show Details...".
    if (whole.size() > ShownCharacters) {
        box.setText(box.text() + QStringLiteral("..."));
        box.setDetailedText(whole);
    }
    box.exec();
}

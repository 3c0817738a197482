#include "platform/ui/messagebox_qt.h"

#include <QApplication>

#include <algorithm>
#include <memory>

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

class QtStandingBox final : public StandingBox {
public:
    explicit QtStandingBox(QMessageBox *box) : Box(box) {}
    // Deleted once the operator closed it.
    bool Standing() const override { return !Box.isNull(); }

private:
    QPointer<QMessageBox> Box;
};

} // namespace

QMessageBox *QtMessageBox::MakeBox(const std::string &text, int32_t style, const std::optional<std::string> &title)
{
    const QMessageBox::Icon icon =
        style == MessageBoxStyle::OkInformation ? QMessageBox::Information : QMessageBox::NoIcon;
    const std::string shown = ShownPart(text);
    auto *box = new QMessageBox(icon, CaptionFor(title), QString::fromStdString(shown), QMessageBox::Ok,
                                Owner ? Owner.data() : QApplication::activeWindow());
    // The texts come from relays and managers too: shown as received, never as markup.
    box->setTextFormat(Qt::PlainText);
    // What the box leaves out can still be read behind "Show Details...".
    if (shown != text)
        box->setDetailedText(QString::fromStdString(text));
    return box;
}

void QtMessageBox::MessageBox(const std::string &text, int32_t style,
                              const std::optional<std::string> &title)
{
    if (Abandoned)
        return;
    const std::unique_ptr<QMessageBox> box(MakeBox(text, style, title));
    box->exec();
}

std::shared_ptr<StandingBox> QtMessageBox::ShowStanding(const std::string &text, int32_t style,
                                                        const std::optional<std::string> &title)
{
    if (Abandoned)
        return std::make_shared<QtStandingBox>(nullptr);
    QMessageBox *box = MakeBox(text, style, title);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    std::erase_if(Standing, [](const QPointer<QMessageBox> &standing) { return standing.isNull(); });
    Standing.emplace_back(box);
    return std::make_shared<QtStandingBox>(box);
}

void QtMessageBox::Abandon()
{
    Abandoned = true;
    for (const QPointer<QMessageBox> &box : Standing)
        if (box)
            box->close();
    Standing.clear();
}

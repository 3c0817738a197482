// The window's controls where the operator expects them: positions and sizes are kept in
// twips, 1440 to the inch, and turned into pixels through the screen's logical DPI.
#include "monitor/tarvikbrokerservicecheck.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double TwipsPerInch = 1440.0;

struct Twips {
    int Left, Top, Width, Height;
};

int Pixels(const QWidget &window, int twips)
{
    return static_cast<int>(std::lround(twips * window.logicalDpiX() / TwipsPerInch));
}

// The table was drawn for a narrower face than most platforms' sans-serif: a caption
// that would be cut off widens its control instead.
void WidenToCaption(QWidget *control)
{
    control->resize(std::max(control->width(), control->sizeHint().width()), control->height());
}

template <typename Control>
Control *Place(QWidget &window, Control *control, Twips at)
{
    control->setGeometry(Pixels(window, at.Left), Pixels(window, at.Top), Pixels(window, at.Width),
                         Pixels(window, at.Height));
    return control;
}

QFont DefaultFont()
{
    // Where the classic face is missing, the style hint picks the platform's sans-serif.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

QPlainTextEdit *ReportBox(QWidget *window)
{
    auto *box = new QPlainTextEdit(window);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

QLabel *NoteLabel(QWidget *window)
{
    auto *note = new QLabel(
        QStringLiteral("NOTE: allways wait for processing to stop (use the above checkbox) before "
                       "terminating this program!!"),
        window);
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return note;
}

} // namespace

void TarvikBrokerServiceCheck::BuildControls()
{
    setWindowTitle(QStringLiteral("Broker Services Monitor"));
    setFont(DefaultFont());
    resize(Pixels(*this, 5160), Pixels(*this, 6705));

    Label1 = Place(*this, new QLabel(QStringLiteral("Broker Server Name/IP"), this), {120, 120, 2295, 255});
    mBrokerID = Place(*this, new QLineEdit(QStringLiteral("localhost"), this), {2520, 120, 2535, 285});
    Label2[0] = Place(*this, new QLabel(QStringLiteral("Notification eMail Address"), this), {120, 480, 2295, 255});
    mToAddress = Place(*this, new QLineEdit(QStringLiteral("root@localhost"), this), {2520, 480, 2535, 285});
    Label2[1] = Place(*this, new QLabel(QStringLiteral("SMTP Server Name/IP"), this), {120, 840, 2295, 255});
    mSmtpID = Place(*this, new QLineEdit(QStringLiteral("localhost"), this), {2520, 840, 2535, 285});
    Label5 = Place(*this, new QLabel(QStringLiteral("Interval (minutes)"), this), {120, 1200, 1695, 255});
    mInterval = Place(*this, new QLineEdit(QStringLiteral("1"), this), {2520, 1200, 2535, 285});
    mKeepRunning = Place(*this, new QCheckBox(QStringLiteral("Keep Running"), this), {120, 1560, 1575, 375});
    mSendMail = Place(*this, new QCheckBox(QStringLiteral("Send eMails"), this), {2520, 1560, 1215, 375});
    txChanges = Place(*this, ReportBox(this), {120, 1920, 4935, 2895});
    Label3 = Place(*this, new QLabel(QStringLiteral("eMail Status"), this), {600, 5040, 975, 255});
    StatusTxt = Place(*this, new QLabel(QStringLiteral("N/A"), this), {1680, 5040, 3135, 255});
    Label4 = Place(*this, NoteLabel(this), {240, 5400, 4935, 495});
    CheckBroker[1] = Place(*this, new QPushButton(QStringLiteral("Check Broker Instances"), this), {240, 6000, 2175, 615});
    ExitProgram = Place(*this, new QPushButton(QStringLiteral("Exit"), this), {3000, 6000, 2055, 615});

    for (QWidget *captioned : std::initializer_list<QWidget *>{Label1, Label2[0], Label2[1], Label5,
                                                               mKeepRunning, mSendMail, Label3})
        WidenToCaption(captioned);

    // The focusable controls in the order of their tab indexes; the report box comes first
    // and holds the focus when the window opens.
    QWidget *const order[] = {txChanges, mSendMail, CheckBroker.at(1), mBrokerID, mSmtpID,
                              mToAddress, ExitProgram, mKeepRunning, mInterval};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    txChanges->setFocus();
}

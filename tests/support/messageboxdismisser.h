#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Dismisses every message box the program shows, as an operator would, noting what it showed.
class MessageBoxDismisser final : public QObject {
public:
    struct Box {
        QString Text, Details, Caption;
        QMessageBox::Icon Icon;
        Qt::TextFormat Format;
    };

    MessageBoxDismisser()
    {
        connect(&Poll, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Shown << Box{box->text(), box->detailedText(), box->windowTitle(), box->icon(), box->textFormat()};
                box->button(QMessageBox::Ok)->click();
            }
        });
        Poll.start(10);
    }

    QList<Box> Shown;

private:
    QTimer Poll;
};

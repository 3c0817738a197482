#include "platform/events/eventloop_qt.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Notices whether any event reached an object other than the wait's own timer and
// notifiers: that is the new input that ends a wait.
class InputDetector final : public QObject {
public:
    explicit InputDetector(std::vector<const QObject *> own) : Own(std::move(own))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputDetector() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool SawInput = false;

protected:
    bool eventFilter(QObject *watched, QEvent *) override
    {
        if (std::find(Own.begin(), Own.end(), watched) == Own.end())
            SawInput = true;
        return false;
    }

private:
    std::vector<const QObject *> Own;
};

bool AllHandlesValid(int32_t handleCount, const int32_t *handles)
{
    for (int32_t i = 0; i < handleCount; ++i)
        if (fcntl(handles[i], F_GETFD) == -1)
            return false;
    return true;
}

} // namespace

void QtEventLoop::PumpMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int32_t QtEventLoop::WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                           uint32_t timeoutMs)
{
    if (Abandoned || !AllHandlesValid(handleCount, handles))
        return WaitCode::Failed;

    std::optional<int32_t> outcome;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    std::vector<const QObject *> own;
    for (int32_t i = 0; i < handleCount; ++i) {
        auto notifier = std::make_unique<QSocketNotifier>(handles[i], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                         [&outcome, i] { outcome = outcome.value_or(WaitCode::Object0 + i); });
        own.push_back(notifier.get());
        notifiers.push_back(std::move(notifier));
    }

    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &deadline,
                     [&outcome] { outcome = outcome.value_or(WaitCode::Timeout); });
    own.push_back(&deadline);

    InputDetector detector(std::move(own));
    if (timeoutMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        if (timeoutMs != WaitCode::Infinite)
            deadline.start(static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX)));
        // The dispatcher may come back without having delivered anything; sleep again then.
        while (!outcome && !detector.SawInput)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (outcome)
        return *outcome;
    return detector.SawInput ? handleCount : WaitCode::Timeout;
}

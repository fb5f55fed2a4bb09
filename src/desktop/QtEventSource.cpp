#include "desktop/QtEventSource.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <utility>

namespace {

class QtTimer final : public EventTimer {
public:
    explicit QtTimer(std::function<void()> onTimeout) {
        m_timer.setSingleShot(true);
        // A coarse timer may fire early: a minute's first tick would come before the minute, and a deadline
        // would need a second wake-up.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onTimeout));
    }

    void Start(std::chrono::milliseconds delay) override { m_timer.start(delay); }
    void Stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace

QtEventSource::QtEventSource() = default;

QtEventSource::~QtEventSource() = default;

void QtEventSource::Watch(Descriptor descriptor, Interest interest, Handler& handler) {
    Unwatch(descriptor);
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(descriptor),
                                         interest == Interest::Read ? QSocketNotifier::Read : QSocketNotifier::Write,
                                         &m_notifierOwner);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [&handler, descriptor] { handler.OnReady(descriptor); });
    m_notifiers.emplace(descriptor, notifier);
}

void QtEventSource::Unwatch(Descriptor descriptor) {
    if (const auto found = m_notifiers.find(descriptor); found != m_notifiers.end()) {
        Retire(found->second);
        m_notifiers.erase(found);
    }
}

void QtEventSource::Retire(QSocketNotifier* notifier) {
    notifier->setEnabled(false);
    QObject::disconnect(notifier, nullptr, nullptr, nullptr);
    notifier->deleteLater();
}

std::unique_ptr<EventTimer> QtEventSource::CreateTimer(std::function<void()> onTimeout) {
    return std::make_unique<QtTimer>(std::move(onTimeout));
}

std::int64_t QtEventSource::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void QtEventSource::Quit(int exitCode) {
    QCoreApplication::exit(exitCode);
}

#pragma once

#include <QObject>

#include <map>

#include "platform/EventSource.h"

class QSocketNotifier;

// The event source over Qt's event loop, for the desktop module: QSocketNotifier watches the descriptors,
// precise single-shot QTimers fire the timers, and nested loops (dialogs, boxes) deliver both as the
// application's own loop does. Quit ends the application's loop.
class QtEventSource final : public EventSource {
public:
    QtEventSource();
    ~QtEventSource() override;
    QtEventSource(const QtEventSource&) = delete;
    QtEventSource& operator=(const QtEventSource&) = delete;

    void Watch(Descriptor descriptor, Interest interest, Handler& handler) override;
    void Unwatch(Descriptor descriptor) override;
    std::unique_ptr<EventTimer> CreateTimer(std::function<void()> onTimeout) override;
    std::int64_t Now() const override;
    void Quit(int exitCode) override;

private:
    // Ends a notifier that may be delivering its notification right now.
    static void Retire(QSocketNotifier* notifier);

    QObject m_notifierOwner; // parent of the notifiers, so none outlives this
    std::map<Descriptor, QSocketNotifier*> m_notifiers;
};

#include "platform/Notifier.h"

Notifier &Notifier::get() {
    static Notifier n;
    return n;
}

NotifierChannel *Notifier::channel(const QString &name) {
    auto it = channels_.find(name);
    if (it != channels_.end()) return *it;
    auto *c = new NotifierChannel(this);
    channels_.insert(name, c);
    return c;
}

void Notifier::post(const QString &name, QObject *sender) { emit channel(name)->fired(sender); }

QMetaObject::Connection Notifier::observe(const QString &name, QObject *context,
                                          std::function<void(QObject *)> fn, Qt::ConnectionType type) {
    return connect(channel(name), &NotifierChannel::fired, context, [fn = std::move(fn)](QObject *s) { fn(s); },
                   type);
}

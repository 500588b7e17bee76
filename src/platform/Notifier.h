#pragma once
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class NotifierChannel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void fired(QObject *sender);
};

// The app's notification centre: a change is posted by name with the object that posted it, and
// nothing else. Observers name a context object; when it is destroyed they receive nothing more.
class Notifier : public QObject {
    Q_OBJECT
public:
    static Notifier &get();

    void post(const QString &name, QObject *sender = nullptr);
    QMetaObject::Connection observe(const QString &name, QObject *context,
                                    std::function<void(QObject *sender)> fn,
                                    Qt::ConnectionType type = Qt::AutoConnection);

private:
    NotifierChannel *channel(const QString &name);
    QHash<QString, NotifierChannel *> channels_;
};

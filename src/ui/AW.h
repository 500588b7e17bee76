#pragma once
#include <QObject>
#include <functional>

// A closure that serves as a control's target: connect a signal to AW::run. The control does not
// own it, so its owner keeps it alive, either in an array it empties when it rebuilds its views
// (awStore) or tied to the control itself with AW::attach, which lives exactly as long as the
// control.
class AW : public QObject {
    Q_OBJECT
public:
    explicit AW(std::function<void()> fn, QObject *parent = nullptr) : QObject(parent), fn_(std::move(fn)) {}

    // An AW owned by the control, found again under AssocKey::aw.
    static AW *attach(QObject *control, std::function<void()> fn) {
        auto *aw = new AW(std::move(fn), control);
        aw->setObjectName(QString::fromLatin1(AssocKey::aw));
        return aw;
    }
    static AW *attachedTo(const QObject *control) {
        return control->findChild<AW *>(QString::fromLatin1(AssocKey::aw), Qt::FindDirectChildrenOnly);
    }

    struct AssocKey {
        static constexpr char aw[] = "aw";
    };

public slots:
    void run() {
        if (fn_) fn_();
    }

private:
    const std::function<void()> fn_;
};

#pragma once
#include "platform/ClipboardReader.h"
#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>
#include <vector>

// Another program's clipboard, whose reader on a worker answers when told.
struct HeldReader : ClipboardReader {
    std::vector<std::pair<QPointer<QObject>, std::function<void(Read)>>> asked;
    HeldReader() { install(this); }
    ~HeldReader() override { install(nullptr); }
    bool readsApart() const override { return true; }
    void readLater(QObject *receiver, std::function<void(Read)> done) override {
        asked.emplace_back(receiver, std::move(done));
    }
    void answer(Read::Kind kind, const QString &text = {}) {
        for (auto &[receiver, done] : std::exchange(asked, {}))
            if (receiver) done({kind, text});
    }
};

#include "platform/StoredDocument.h"

#include "platform/Prefs.h"
#include <QObject>
#include <utility>

bool StoredDocument::isCurrentIn(const Prefs &p) const {
    return isIn(p) && p.version(key_) == version_;
}

void StoredDocument::hold(QByteArray bytes) {
    held_ = std::move(bytes);
    version_.reset();
}

bool StoredDocument::spliceHeld(const std::vector<PrefsSplice> &splices) {
    return applySplices(held_, splices);
}

bool StoredDocument::tookWrite(Prefs &p, std::optional<quint64> before, qint64 size) {
    const auto now = p.version(key_);
    if (!now || (before && *now == *before)) return false;
    version_ = now;
    in_ = &p;
    size_ = size;
    return true;
}

std::optional<QByteArray> StoredDocument::handOver(Prefs &p, std::optional<quint64> before) {
    if (!tookWrite(p, before, held_.size())) return std::nullopt;
    return std::exchange(held_, QByteArray());
}

std::optional<quint64> StoredDocument::splice(Prefs &p, std::vector<PrefsSplice> splices) {
    if (!isIn(p)) return std::nullopt;
    // The size p gives the value it splices; -1 (never read back as written) when they do not fit.
    const qint64 size = splicedSize(size_, splices).value_or(-1);
    const auto now = p.spliceData(key_, *version_, std::move(splices));
    if (!now) return std::nullopt;
    version_ = now;
    size_ = size;
    return now;
}

std::optional<QByteArray> StoredDocument::readBack(const Prefs &p) const {
    if (!isIn(p)) return std::nullopt;
    auto bytes = p.dataAsWritten(key_, *version_);
    if (!bytes || bytes->size() != size_) return std::nullopt;
    return bytes;
}

std::optional<QByteArray> StoredDocument::readRange(const Prefs &p, qint64 at, qint64 len) const {
    if (!isIn(p)) return std::nullopt;
    return p.readRange(key_, at, len, *version_);
}

std::function<std::optional<QByteArray>()> StoredDocument::readRangeLater(const Prefs &p, qint64 at,
                                                                          qint64 len) const {
    if (!isIn(p)) return [] { return std::optional<QByteArray>(); };
    return p.readRangeLater(key_, at, len, *version_);
}

std::optional<quint64> StoredDocument::committedUpTo(const Prefs &p) const {
    if (!isIn(p)) return std::nullopt;
    return p.committedUpTo(key_, *version_);
}

void StoredDocument::forget() {
    held_ = QByteArray();
    version_.reset();
    in_ = nullptr;
    size_ = 0;
}

QMetaObject::Connection StoredDocument::onReplaced(Prefs &p, const QObject *context,
                                                   std::function<void()> replaced) const {
    return QObject::connect(&p, &Prefs::storedValueReplaced, context,
                            [this, &p, replaced = std::move(replaced)](const QString &key) {
                                if (key == key_ && isIn(p)) replaced();
                            });
}

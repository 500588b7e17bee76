#include "platform/DataNotices.h"

#include "platform/AtomicFile.h"
#include "platform/Handover.h"
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <array>
#include <optional>

namespace {
// A notices file is a few lines; anything larger is not ours.
constexpr qint64 kMaxKeptBytes = 1 << 20;

// 2: an object naming its format, with the checksum of side files. Format 1 was a bare list.
constexpr int kKeptFormat = 2;

constexpr std::array<std::pair<DataNotice::Kind, const char *>, 10> kKindNames{{
    {DataNotice::Kind::unreadable, "unreadable"},
    {DataNotice::Kind::otherProgramsValueKept, "otherProgramsValueKept"},
    {DataNotice::Kind::ownChangesKept, "ownChangesKept"},
    {DataNotice::Kind::ownChangedRecordsKept, "ownChangedRecordsKept"},
    {DataNotice::Kind::otherProgramsValueInUse, "otherProgramsValueInUse"},
    {DataNotice::Kind::savedAtStart, "savedAtStart"},
    {DataNotice::Kind::unsavedUnreadable, "unsavedUnreadable"},
    {DataNotice::Kind::noticesUnreadable, "noticesUnreadable"},
    {DataNotice::Kind::lostAtQuit, "lostAtQuit"},
    {DataNotice::Kind::editLostAtQuit, "editLostAtQuit"},
}};

std::optional<DataNotice::Kind> kindNamed(const QString &name) {
    for (const auto &[kind, raw] : kKindNames)
        if (name == QLatin1String(raw)) return kind;
    return std::nullopt;
}

QString nameOf(DataNotice::Kind kind) {
    for (const auto &[k, raw] : kKindNames)
        if (k == kind) return QString::fromLatin1(raw);
    return {};
}
} // namespace

DataNotices::DataNotices() {
    // Made by whoever tells first, perhaps the writer's thread: it lives on the window's.
    if (auto *app = QCoreApplication::instance()) moveToThread(app->thread());
}

DataNotices &DataNotices::get() {
    static DataNotices notices;
    return notices;
}

void DataNotices::add(const DataNotice &n) {
    {
        std::lock_guard l(m_);
        for (const DataNotice &p : pending_)
            if (p == n) return;
        pending_.push_back(n);
    }
    // The writer finds a conflict on its own thread; the app hears of it on the window's.
    if (QThread::currentThread() == thread())
        emit added();
    else
        QMetaObject::invokeMethod(this, Handover::queued([this] { emit added(); }), Qt::QueuedConnection);
}

void DataNotices::keptElsewhere(const DataNotice &was, const QString &keptAs) {
    DataNotice now = was;
    now.keptAs = keptAs;
    {
        std::lock_guard l(m_);
        for (DataNotice &p : pending_)
            if (p == was) {
                p = now;
                return;
            }
    }
    add(now);
}

bool DataNotices::hasPending() const {
    std::lock_guard l(m_);
    return !pending_.empty();
}

std::vector<DataNotice> DataNotices::take() {
    std::vector<DataNotice> out;
    QString told;
    {
        std::lock_guard l(m_);
        out.swap(pending_);
        told.swap(restoredFrom_);
    }
    if (!told.isEmpty()) QFile::remove(told);
    return out;
}

QString DataNotices::keptPath(const QString &database) {
    return database + QStringLiteral(".notices");
}

bool DataNotices::keepPending(const QString &path) {
    std::vector<DataNotice> pending;
    {
        std::lock_guard l(m_);
        pending = pending_;
    }
    if (pending.empty()) {
        QFile::remove(path);
        std::lock_guard l(m_);
        if (restoredFrom_ == path) restoredFrom_.clear();
        return true;
    }
    QJsonArray list;
    for (const DataNotice &n : pending) {
        QJsonObject o{{QStringLiteral("kind"), nameOf(n.kind)},
                      {QStringLiteral("key"), n.key},
                      {QStringLiteral("keptAs"), n.keptAs},
                      {QStringLiteral("database"), n.database}};
        if (!n.what.isEmpty()) o.insert(QStringLiteral("what"), n.what);
        if (n.at.isValid()) o.insert(QStringLiteral("at"), n.at.toMSecsSinceEpoch());
        if (!n.held.isEmpty()) o.insert(QStringLiteral("held"), QJsonArray::fromStringList(n.held));
        list.append(o);
    }
    const QJsonObject kept{{QStringLiteral("format"), kKeptFormat}, {QStringLiteral("notices"), list}};
    const AtomicFile::WriteResult r = AtomicFile::writeSideFile(path, QJsonDocument(kept).toJson());
    if (!r.ok) {
        qWarning("mivo: the notices not yet shown could not be kept in %s: %s", qPrintable(path),
                 qPrintable(r.error));
        return false;
    }
    return true;
}

void DataNotices::restoreKept(const QString &path) {
    const AtomicFile::SideFile file = AtomicFile::readSideFile(path, kMaxKeptBytes);
    if (file.state == AtomicFile::SideState::none) return;
    const QJsonObject kept = file.state == AtomicFile::SideState::ok
                                 ? QJsonDocument::fromJson(file.content).object()
                                 : QJsonObject();
    const QJsonValue list = kept.value(QStringLiteral("notices"));
    if (kept.value(QStringLiteral("format")).toInt() != kKeptFormat || !list.isArray()) {
        // Not tried again at every start, and not removed: set aside, and that is told instead.
        const QString aside = AtomicFile::keepAside(path);
        qWarning("mivo: the notices kept in %s could not be read; the file is kept as %s", qPrintable(path),
                 qPrintable(aside.isEmpty() ? path : aside));
        QString database = path;
        if (database.endsWith(QLatin1String(".notices"))) database.chop(int(qstrlen(".notices")));
        add({QString(), aside.isEmpty() ? path : aside, database, DataNotice::Kind::noticesUnreadable});
        return;
    }
    for (const QJsonValue &v : list.toArray()) {
        const QJsonObject o = v.toObject();
        const auto kind = kindNamed(o.value(QStringLiteral("kind")).toString());
        if (!kind) continue;
        DataNotice n{o.value(QStringLiteral("key")).toString(), o.value(QStringLiteral("keptAs")).toString(),
                     o.value(QStringLiteral("database")).toString(), *kind};
        n.what = o.value(QStringLiteral("what")).toString();
        if (const QJsonValue at = o.value(QStringLiteral("at")); at.isDouble())
            n.at = QDateTime::fromMSecsSinceEpoch(qint64(at.toDouble()));
        for (const QJsonValue &key : o.value(QStringLiteral("held")).toArray())
            n.held << key.toString();
        add(n);
    }
    std::lock_guard l(m_);
    restoredFrom_ = path;
}

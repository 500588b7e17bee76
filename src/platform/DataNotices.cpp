#include "platform/DataNotices.h"

#include "platform/AtomicFile.h"
#include "platform/ImportFile.h"
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

constexpr std::array<std::pair<DataNotice::Kind, const char *>, 6> kKindNames{{
    {DataNotice::Kind::unreadable, "unreadable"},
    {DataNotice::Kind::otherProgramsValueKept, "otherProgramsValueKept"},
    {DataNotice::Kind::ownChangesKept, "ownChangesKept"},
    {DataNotice::Kind::ownChangedRecordsKept, "ownChangedRecordsKept"},
    {DataNotice::Kind::otherProgramsValueInUse, "otherProgramsValueInUse"},
    {DataNotice::Kind::savedAtStart, "savedAtStart"},
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
        QMetaObject::invokeMethod(
            this, [this] { emit added(); }, Qt::QueuedConnection);
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
    for (const DataNotice &n : pending)
        list.append(QJsonObject{{QStringLiteral("kind"), nameOf(n.kind)},
                                {QStringLiteral("key"), n.key},
                                {QStringLiteral("keptAs"), n.keptAs},
                                {QStringLiteral("database"), n.database}});
    const AtomicFile::WriteResult r = AtomicFile::write(path, QJsonDocument(list).toJson());
    if (!r.ok) {
        qWarning("mivo: the notices not yet shown could not be kept in %s: %s", qPrintable(path),
                 qPrintable(r.error));
        return false;
    }
    return true;
}

void DataNotices::restoreKept(const QString &path) {
    if (!QFile::exists(path)) return;
    const ImportFile::Result read = ImportFile::read(path, kMaxKeptBytes);
    const QJsonDocument doc =
        read.error == ImportFile::Error::none ? QJsonDocument::fromJson(read.bytes) : QJsonDocument();
    if (!doc.isArray()) {
        qWarning("mivo: the notices kept in %s could not be read", qPrintable(path));
        return;
    }
    for (const QJsonValue &v : doc.array()) {
        const QJsonObject o = v.toObject();
        const auto kind = kindNamed(o.value(QStringLiteral("kind")).toString());
        if (!kind) continue;
        add({o.value(QStringLiteral("key")).toString(), o.value(QStringLiteral("keptAs")).toString(),
             o.value(QStringLiteral("database")).toString(), *kind});
    }
    std::lock_guard l(m_);
    restoredFrom_ = path;
}

// The project detail of the Pomodoro page.
#include "platform/Dialogs.h"
#include "pomodoro/GanttView.h"
#include "pomodoro/PhotoCache.h"
#include "pomodoro/PomBox.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/ProjectStore.h"
#include "ui/CommonAlerts.h"
#include "ui/TintButton.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QCheckBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

using namespace PomUi;

namespace {
const QColor kDeleteColour = QColor::fromRgbF(1.0f, 0.4f, 0.4f);

// A photo drawn scaled to fit, centred; a click opens the file.
class PhotoView : public QWidget {
public:
    PhotoView(QImage img, QString path, QWidget *parent) : QWidget(parent), img_(std::move(img)), path_(std::move(path)) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (img_.isNull()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF s = QSizeF(img_.size()).scaled(size(), Qt::KeepAspectRatio);
        p.drawImage(QRectF((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height()), img_);
    }
    void mouseReleaseEvent(QMouseEvent *e) override {
        // A click, like a button's: the left button released over the photo.
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) PhotoFiles::open(path_);
    }

private:
    QImage img_;
    QString path_;
};

TintButton *sheetButton(const QString &title, const QColor &tint, double bg, double border, QWidget *parent) {
    auto *b = new TintButton(title, tint, bg, border, 8, parent);
    b->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    return b;
}
} // namespace

void PomodoroView::showProjectDetail(const Project &project) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const QColor pc = PomListRows::projectColor();
    QPointer<PomodoroView> self(this);
    const QString pid = project.id;

    FlippedView *doc = nullptr;
    QScrollArea *scroll = scrollArea(detailHost_, &doc);
    scroll->setObjectName(QStringLiteral("projectDetail"));
    setScrollerTopInset(scroll, 4); // clear of the accent strip
    scroll->setGeometry(0, 0, int(W), int(H));
    doc->setGeometry(0, 0, int(W), 2000);

    auto *strip = new PomBox(pc, 0, doc);
    strip->setGeometry(0, 0, int(W), 4);
    iconLabel(doc, project.emoji, 36, 46)->setGeometry(28, 16, 46, 44);
    QLabel *name = label(doc, project.name, 22, QFont::Bold, VF::text());
    name->setGeometry(QRectF(78, 20, W - 106, 28).toRect());
    const QString doneWord =
        L::t({.en = "done", .es = "listo", .de = "abgeschlossen", .fr = "terminé", .uk = "виконано", .pl = "gotowe"});
    QLabel *prog = label(doc,
                         QStringLiteral("%1 · %2% %3")
                             .arg(PomListRows::stepsDone(project))
                             .arg(PomListRows::progressPercent(project))
                             .arg(doneWord),
                         11, QFont::Normal, alpha(pc, 0.8));
    prog->setObjectName(QStringLiteral("projectProgress"));
    prog->setGeometry(QRectF(78, 48, W - 106, 14).toRect());
    auto *track = new PomBox(white(0.07), 3, doc);
    track->setGeometry(QRectF(28, 72, W - 56, 6).toRect());
    auto *fillBar = new PomBox(pc, 3, track);
    fillBar->setGeometry(QRectF(0, 0, std::max(0.0, (W - 56) * project.progress()), 6).toRect());

    double y = 90;
    if (!project.description.isEmpty()) {
        sectionHdrView(L::t({.en = "DESCRIPTION", .es = "DESCRIPCIÓN", .de = "BESCHREIBUNG", .fr = "DESCRIPTION", .uk = "ОПИС", .pl = "OPIS"}),
                       y, W, 28)
            ->setParent(doc);
        auto *tv = new LinkTextView(doc);
        tv->setObjectName(QStringLiteral("projectDescription"));
        tv->setReadOnly(true);
        tv->setTextInteractionFlags(Qt::TextSelectableByMouse);
        tv->setFrameShape(QFrame::NoFrame);
        tv->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        tv->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        tv->viewport()->setAutoFillBackground(false);
        tv->setAutoFillBackground(false);
        tv->setFont(Fonts::scaledFont(12.5));
        QPalette p = tv->palette();
        p.setColor(QPalette::Text, alpha(VF::text(), 0.85));
        tv->setPalette(p);
        tv->document()->setDocumentMargin(0);
        tv->setPlainText(project.description);
        tv->detectLinks(VF::accent());
        // The fitted height is the text's as laid out at the view's width: a text edit lays its
        // document out at its viewport's width whenever it likes, so the wrap width is fixed here
        // rather than left to follow a viewport that does not have its final size yet.
        tv->setLineWrapMode(QTextEdit::FixedPixelWidth);
        tv->setLineWrapColumnOrWidth(int(W - 56));
        tv->document()->setTextWidth(int(W - 56));
        const double th = std::max(std::ceil(tv->document()->size().height()), 40.0);
        tv->setGeometry(QRectF(28, 120, W - 56, th).toRect());
        y = 120 + th + 14;
    }

    QStringList existing;
    for (const QString &path : project.imagePaths)
        if (PhotoCache::shared().exists(path)) existing << path;
    if (!existing.isEmpty()) {
        sectionHdrView(L::t({.en = "PHOTOS", .es = "FOTOS", .de = "FOTOS", .fr = "PHOTOS", .uk = "ФОТО", .pl = "ZDJĘCIA"}), y, W, 28)
            ->setParent(doc);
        y += 30;
        for (const QString &path : existing) {
            const QImage img = PhotoCache::shared().image(path);
            if (img.isNull()) continue;
            const double h = img.height() <= 0 ? 200 : std::min(W * img.height() / std::max(1, img.width()), 340.0);
            auto *pv = new PhotoView(img, path, doc);
            pv->setObjectName(QStringLiteral("photo"));
            pv->setGeometry(QRectF(0, y, W, h).toRect());
            y += h + 6;
        }
        y += 10;
    }

    auto *edit = sheetButton(QStringLiteral("✏️  ") + L::t({.en = "Edit project", .es = "Editar proyecto", .de = "Projekt bearbeiten",
                                                            .fr = "Modifier le projet", .uk = "Редагувати проект", .pl = "Edytuj projekt"}),
                             pc, 0.15, 0.45, doc);
    edit->setObjectName(QStringLiteral("editProjectButton"));
    edit->setGeometry(QRectF(28, y, W - 56, 32).toRect());
    connect(edit, &QPushButton::clicked, newAW([self, pid] {
                const auto &ps = ProjectStore::shared().projects();
                const auto it = std::find_if(ps.begin(), ps.end(), [&](const Project &p) { return p.id == pid; });
                if (it != ps.end() && self) self->showEditProjectDialog(*it);
            }),
            &AW::run);
    y += 40;

    if (project.checkpoints.empty()) {
        QLabel *hint = label(doc,
                             L::t({.en = "Click Edit project to add steps and a Gantt chart", .es = "Clic en Editar para agregar pasos",
                                   .de = "Klicke auf Bearbeiten um Schritte hinzuzufügen",
                                   .fr = "Cliquez sur Modifier pour ajouter des étapes",
                                   .uk = "Натисни «Редагувати» для додавання кроків і Ґанта",
                                   .pl = "Kliknij Edytuj projekt, aby dodać kroki i wykres Gantta"}),
                             11.5, QFont::Normal, VF::muted(), Qt::AlignCenter);
        hint->setWordWrap(true);
        hint->setGeometry(QRectF(28, y, W - 56, 36).toRect());
        y += 46;
    } else {
        sectionHdrView(L::t({.en = "PROJECT STEPS", .es = "PASOS DEL PROYECTO", .de = "PROJEKTSCHRITTE", .fr = "ÉTAPES DU PROJET",
                             .uk = "КРОКИ ПРОЕКТУ", .pl = "KROKI PROJEKTU"}),
                       y, W, 28)
            ->setParent(doc);
        y += 30;
        const double rw = W - 56, rh = 46;
        for (std::size_t i = 0; i < project.checkpoints.size(); ++i) {
            const ProjectCheckpoint &c = project.checkpoints[i];
            auto *row = new PomBox(c.completed ? alpha(VF::accent(), 0.1) : white(0.05), 8, doc);
            row->setBorder(c.completed ? alpha(VF::accent(), 0.35) : white(0.07), 0.5);
            row->setGeometry(QRectF(28, y, rw, rh).toRect());
            auto *cb = new QCheckBox(row);
            cb->setObjectName(QStringLiteral("step_") + c.id);
            cb->setFocusPolicy(Qt::NoFocus);
            cb->setChecked(c.completed);
            ThemePalette::applyToCheckBox(cb);
            cb->setGeometry(yUp(rh, 10, 14, 18, 18));
            const QString stepId = c.id;
            // The step is found again by its id: the list may have changed since this row was drawn.
            connect(cb, &QCheckBox::clicked, newAW([pid, stepId] {
                        const auto &ps = ProjectStore::shared().projects();
                        const auto it = std::find_if(ps.begin(), ps.end(), [&](const Project &p) { return p.id == pid; });
                        if (it == ps.end()) return;
                        Project copy = *it;
                        for (ProjectCheckpoint &s : copy.checkpoints)
                            if (s.id == stepId) {
                                s.completed = !s.completed;
                                ProjectStore::shared().update(copy);
                                return;
                            }
                    }),
                    &AW::run);
            const QString title = c.title.isEmpty()
                                      ? L::t({.en = "Step", .es = "Paso", .de = "Schritt", .fr = "Étape", .uk = "Крок", .pl = "Krok"}) +
                                            QLatin1Char(' ') + QString::number(i + 1)
                                      : c.title;
            QLabel *tl = label(row, title, 12, QFont::DemiBold, c.completed ? VF::accent() : VF::text());
            tl->setGeometry(yUp(rh, 34, 25, W - 166, 15));
            if (!c.notes.isEmpty()) {
                QLabel *nl = label(row, c.notes, 10, QFont::Normal, VF::sub());
                nl->setGeometry(yUp(rh, 34, 8, W - 166, 13));
            }
            QLabel *dl = label(row, QString::number(c.durationDays) + QLatin1Char('d'), 11, QFont::Medium, VF::muted(),
                               Qt::AlignRight | Qt::AlignVCenter);
            dl->setFont(Fonts::monoDigits(11, QFont::Medium));
            dl->setGeometry(yUp(rh, rw - 52, 16, 46, 14));
            y += 52;
        }
        sectionHdrView(L::t({.en = "GANTT CHART", .es = "DIAGRAMA GANTT", .de = "GANTT-DIAGRAMM", .fr = "DIAGRAMME DE GANTT",
                             .uk = "ДІАГРАМА ҐАНТА", .pl = "WYKRES GANTT"}),
                       y + 6, W, 28)
            ->setParent(doc);
        y += 36;
        const double g = std::max(31.0 * double(project.checkpoints.size()) + 24, 80.0);
        auto *gbox = new PomBox(white(0.04), 10, doc);
        gbox->setBorder(white(0.07), 0.5);
        gbox->setGeometry(QRectF(28, y, W - 56, g + 16).toRect());
        auto *gantt = new GanttView(gbox);
        gantt->setObjectName(QStringLiteral("gantt"));
        gantt->setGeometry(yUp(g + 16, 8, 8, W - 72, g));
        gantt->setCheckpoints(project.checkpoints);
        y += g + 24;
    }

    auto *del = sheetButton(QStringLiteral("🗑  ") + L::t({.en = "Delete project", .es = "Eliminar proyecto", .de = "Projekt löschen",
                                                            .fr = "Supprimer le projet", .uk = "Видалити проект", .pl = "Usuń projekt"}),
                            kDeleteColour, 0.12, 0.35, doc);
    del->setObjectName(QStringLiteral("deleteProjectButton"));
    del->setGeometry(QRectF(28, y, W - 56, 30).toRect());
    const QString pname = project.name;
    connect(del, &QPushButton::clicked, newAW([self, pid, pname] {
                Dialogs::Alert a;
                a.title = L::t({.en = "Delete project?", .es = "¿Eliminar el proyecto?", .de = "Projekt löschen?",
                                .fr = "Supprimer le projet ?", .uk = "Видалити проект?", .pl = "Usunąć projekt?"});
                a.text = QStringLiteral("«") + pname + QStringLiteral("» ") +
                         L::t({.en = "will be deleted.", .es = "será eliminado.", .de = "wird gelöscht.", .fr = "sera supprimé.",
                               .uk = "буде видалено.", .pl = "zostanie usunięte."});
                a.buttons = {L::t({.en = "Delete", .es = "Eliminar", .de = "Löschen", .fr = "Supprimer", .uk = "Видалити", .pl = "Usuń"}),
                             cancelTitle()};
                a.warning = true;
                if (Dialogs::get().alert(self ? self->window() : nullptr, a) != 0) return;
                ProjectStore::shared().remove(pid);
                if (self) self->setSelectedItem(std::nullopt);
            }),
            &AW::run);

    doc->setGeometry(0, 0, int(W), int(std::max(y + 56, H)));
    for (QWidget *w : doc->findChildren<QWidget *>()) w->show();
    scroll->show();

    if (!projDetailScrollID_ || *projDetailScrollID_ != pid) {
        projDetailScrollY_ = 0;
        projDetailScrollID_ = pid;
    }
    projDetailScrollRef_ = scroll;
    if (projDetailScrollY_ > 0) scroll->verticalScrollBar()->setValue(int(projDetailScrollY_));
}

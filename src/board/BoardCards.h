#pragma once
#include "board/BoardRules.h"
#include "pomodoro/TaskCat.h"
#include <QWidget>

// The small painted views of the task board's header: a category's month card, the overall progress
// track and the bar of column headings.

class StatCard : public QWidget {
    Q_OBJECT
public:
    explicit StatCard(TaskCat cat, QWidget *parent = nullptr);
    void update(int done, int total, int pct);
    TaskCat cat() const { return cat_; }
    int pct() const { return pct_; }
    QString pctText() const { return QString::number(pct_) + QLatin1Char('%'); }
    QString fracText() const { return QStringLiteral("%1/%2").arg(done_).arg(total_); }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    TaskCat cat_;
    int done_ = 0, total_ = 0, pct_ = 0;
};

class ProgressTrack : public QWidget {
    Q_OBJECT
public:
    explicit ProgressTrack(QWidget *parent = nullptr);
    void setRatio(double f);
    double ratio() const { return ratio_; }
    double fillWidth() const { return ratio_ * width(); }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    double ratio_ = 0;
};

class ColumnHeadings : public QWidget {
    Q_OBJECT
public:
    explicit ColumnHeadings(QWidget *parent = nullptr);
    // The five texts in column order, in the current language.
    static QStringList texts();

protected:
    void paintEvent(QPaintEvent *e) override;
};

#pragma once
#include <QColor>
#include <QWidget>

class QLabel;

// A summary card of the finance page: an icon, an upper-case caption, a large amount, a line below
// it and a thin progress bar, in the card's accent colour on the theme's card background.
class FinStatCard : public QWidget {
    Q_OBJECT
public:
    FinStatCard(const QString &icon, const QString &label, const QColor &accent, QWidget *parent = nullptr);

    void setLabel(const QString &label); // shown upper-cased
    // An amount shown without its sign after prefix, "n entries" below it, and the bar at pct (held
    // to 0 … 1).
    void update(double amount, int count, double pct, const QString &prefix);
    // A signed balance in the accent (red when negative), "p% savings" below it, and the bar at p %.
    void updateBalance(double amount, int savingsPct);

    double pct() const { return pct_; }
    QString amountText() const;
    QString lineText() const;
    QString captionText() const;
    QColor amountColor() const;
    QColor borderColor() const { return border_; }
    // The fill bar's width for the current size.
    double fillWidth() const;

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void applyTheme();
    void setAmountColor(const QColor &c);

    QLabel *iconLbl_, *catLbl_, *amtLbl_, *subLbl_;
    double pct_ = 0;
    QColor accent_, border_, fill_, track_, bg_;
};

#pragma once
#include "ui/EmojiPrep.h"
#include "ui/Page.h"
#include <QPointer>
#include <functional>

class FlippedView;
class QScrollArea;
class QWidget;

// The "settings" page: one scrolling column of sections (notifications, system, data and reset,
// import and export, appearance, font size, language). It owns no data: every switch and card reads
// the preferences domain, the phase timer or the health engine when the page is built and writes
// back at once. Built again when shown (unless setup() built it for that very show), on a language or
// font-scale change, after a card or a reset changed something, and once after the width changed by
// more than 2 points.
class SettingsView : public Page {
    Q_OBJECT
public:
    explicit SettingsView(QWidget *parent = nullptr);

    void setup() override;
    void refresh() override;

    // The section title with its rule at top y; returns where the section's first element starts.
    // The support page uses the same title.
    static double sectionHeader(QWidget *flip, const QString &title, double y, double cW, double pad);
    // The width the content is laid out for at a page width of w.
    static double contentWidth(double w);

    // The actions (also reached by tests).
    void resetTimerDefaults();
    void eraseAllData();
    void exportAllData();
    void importAllData();
    // Writes or removes the autostart entry for this executable.
    static void setAutostart(bool on);
    // What the page's settings need at every launch, whether or not the page is ever shown:
    // autostart turned on at the first start, and an entry of ours pointed at this executable.
    static void prepareAtLaunch();
    // The texts with emoji the page shows, in the current language and font scale (see EmojiPrep).
    static QList<EmojiPrep::Text> emojiShown();
    // Whether the "Disable all notifications" switch shows on.
    static bool disableAllShownOn();

    QWidget *content() const;

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildContent();
    double toggleRow(const QString &icon, const QString &label, bool isOn, double y, double cW, double pad,
                     const char *name, std::function<void(bool)> onChange);
    double actionRow(const QString &icon, const QString &label, const QString &button, const QColor &tint, double y,
                     double cW, double pad, const char *name, std::function<void()> action);
    double themeRow(double y, double cW, double pad);
    double fontScaleRow(double y, double cW, double pad);
    double languageRow(double y, double cW, double pad);
    double hintLine(const QString &text, double y, double cW, double pad);
    // Ends the app after erase or restore: the domain stays frozen, only the timer's state is written.
    void quitAfterReplacingData();
    void eraseFailed(const QString &error);

    QPointer<QScrollArea> scroll_;
    QPointer<FlippedView> flip_;
    double lastBuiltWidth_ = 0;
    int scrollY_ = 0; // kept across a new build of the page
    bool builtThisTurn_ = false; // setup() built the content since control last left for the event loop
};

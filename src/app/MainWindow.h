#pragma once
#include <QStringList>
#include <QWidget>
#include <functional>

class MainTabVC;

// The one main window. Its close button hides it; it is never destroyed while the app runs.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    MainWindow(const std::function<class Page *(const QString &)> &pageFactory, QWidget *parent = nullptr);
    MainTabVC *tabs() const { return tabs_; }
    void applyAppearance();
    // Shows the window in front of every other window, raised and focused. The first time, a few
    // turns later (see prepareFirstShow).
    void bringToFront();
    // The same at once, the first time too: at launch, where what follows (a notice of data found
    // unreadable) waits for the window to be drawn.
    void showInFront();
    // Left click on the tray icon: hide when shown, otherwise bring to front.
    void toggle();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    // The window's first paint is the longest stretch of its first show. What it would do that can be
    // done apart is done first, one step per turn of the event loop: the native window made and its
    // backing store filled in bands (the first writes to new pixels are most of a paint), then the
    // sidebar's emoji drawn, a few per turn; the window is shown after the last step.
    void prepareFirstShow();
    void firstShowStep();
    void fillBackingStoreBand(int band);

    MainTabVC *tabs_;
    bool shownOnce_ = false;
    bool preparing_ = false;
    int bandsFilled_ = 0;
    QStringList emojiAhead_; // the sidebar's emoji still to draw before the first show
};

#pragma once
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>

class BrowserCountdown;
class BrowserPage;
class QLabel;
class QLineEdit;
class QPushButton;

// The window in which a step's web link is shown for the step's length: back, forward and reload,
// an address field, a countdown pill and Stop above the page. When the countdown runs out, or on
// Stop, the window closes and then calls onFinished once; closing it any other way calls nothing.
// The page comes from the web module; when it cannot be loaded the window offers to open the
// address in the default browser instead. Only http and https addresses are ever loaded.
// Closed by the user, it pauses its countdown and counts on from there when shown again.
// Not deleted on close: its owner decides its lifetime.
class YouTubeBrowserWindow : public QWidget {
    Q_OBJECT
public:
    explicit YouTubeBrowserWindow(QWidget *parent = nullptr);
    ~YouTubeBrowserWindow() override;

    // Loads the address and (re)starts the countdown at seconds. False, with nothing loaded and no
    // countdown, when the text is not an http or https address.
    bool load(const QString &urlString, qint64 seconds);
    // Stops the countdown and closes the window without calling onFinished.
    void stopAndClose();

    std::function<void()> onFinished;

    static QString userAgent();

    // For tests and the text-fit check.
    QLabel *timerLabel() const { return timerLbl_; }
    QLineEdit *addressField() const { return address_; }
    QPushButton *stopButton() const { return stopBtn_; }
    QPushButton *openExternallyButton() const { return openExtBtn_; }
    BrowserPage *page() const { return page_; }
    BrowserCountdown *countdown() const { return countdown_; }
    QUrl currentUrl() const { return url_; }

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void build();
    void layoutChildren();
    void closeAndFinish();
    void loadTyped();
    void showUrl(const QUrl &url);

    QWidget *toolbar_ = nullptr;
    QWidget *toolbarLine_ = nullptr;
    QPushButton *backBtn_ = nullptr;
    QPushButton *fwdBtn_ = nullptr;
    QPushButton *reloadBtn_ = nullptr;
    QLineEdit *address_ = nullptr;
    QWidget *pill_ = nullptr;
    QLabel *timerLbl_ = nullptr;
    QPushButton *stopBtn_ = nullptr;
    QWidget *progressBg_ = nullptr;
    QWidget *content_ = nullptr; // the page's widget, or the fallback panel
    QLabel *fallbackLbl_ = nullptr;
    QPushButton *openExtBtn_ = nullptr;
    BrowserPage *page_ = nullptr;
    BrowserCountdown *countdown_ = nullptr;
    QUrl url_;
    bool resumeOnShow_ = false;
};

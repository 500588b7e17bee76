#pragma once
#include <QPointer>
#include <QTextEdit>
#include <QTextFormat>
#include <QWidget>
#include <functional>

// The editable rich text of a table cell (text notes have NoteTextView). Five format codes work run by run on
// the selection, each as one undo step: 0 bold, 1 italic, 2 underline (toggled), 3 larger (+2, at
// most 72), 4 smaller (−2, at least 8). Ctrl+B/I/U apply 0/1/2 and are always swallowed. A paste keeps
// rich text but drops background colours everywhere; Ctrl+Shift+V pastes plain text.
// While it has a non-empty selection and the focus, an editable view shows the floating format bar
// (see FloatingFormatBar).
class RichTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextView(QWidget *parent = nullptr);

    // Applies a format code to the selection; nothing for an empty selection or an unknown code.
    void applyFmt(int code);
    void pastePlain();

    inline static constexpr double kDefaultSize = 13;
    // Marks a link that detection made: shown, mended or undone as its text changes, never saved.
    inline static constexpr int kAutoLinkProperty = QTextFormat::UserProperty + 1;

    // The floating format bar; null until a selection first asks for it.
    QWidget *formatBar() const;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;
};

// A format-bar button: acts on the press, never takes focus (the text keeps its selection), then
// flashes white for 0.12 s and returns to its own background.
class FmtBarButton : public QWidget {
    Q_OBJECT
public:
    FmtBarButton(const QString &label, int idx, RichTextView *view, QWidget *parent = nullptr);
    FmtBarButton(const QString &label, std::function<void()> action, QWidget *parent = nullptr);

    void setBackground(const QColor &c);
    void setBoldLabel(bool on) {
        boldLabel_ = on;
        update();
    }
    // The label's colour, and whether its 13-point size follows the font scale.
    void setLabelStyle(const QColor &color, bool scaled);
    QColor currentBackground() const { return shown_; }
    QString label() const { return label_; }

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    QString label_;
    int idx_ = -1;
    QPointer<RichTextView> view_;
    std::function<void()> action_;
    QColor own_;
    QColor shown_;
    QColor textColor_;
    bool scaledLabel_ = false;
    bool boldLabel_ = false;
};

// The inline editor's and the cell editor's toolbar: bold, italic, underline, smaller, larger, then
// undo and redo. smallerTip/largerTip differ between the two places.
QWidget *makeFormatBar(RichTextView *view, const QString &smallerTip, const QString &largerTip,
                       QWidget *parent);
// The same bar for another editor: apply takes the format codes above.
struct FormatActions {
    std::function<void(int)> apply;
    std::function<void()> undo, redo;
};
QWidget *makeFormatBar(const FormatActions &actions, const QString &smallerTip, const QString &largerTip,
                       QWidget *parent);

// Applies a format code (see RichTextView) to the characters from..to of doc, run by run, as one
// undo step.
void applyFormatCode(QTextDocument *doc, int from, int to, int code);

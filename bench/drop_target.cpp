// A window another program's text is dropped on, as a text editor takes it: it asks for the text
// when the text is dropped and prints what was offered as a drag entered it ("entered, offered: ...")
// and how much text it got ("dropped N") on its standard output.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <cstdio>

namespace {
class Target : public QWidget {
public:
    Target() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent *e) override {
        std::printf("entered, offered: %s\n", qPrintable(e->mimeData()->formats().join(u' ')));
        std::fflush(stdout);
        if (e->mimeData()->hasText()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent *e) override {
        e->setDropAction(Qt::CopyAction);
        e->accept();
    }
    void dropEvent(QDropEvent *e) override {
        e->setDropAction(Qt::CopyAction); // a copy: the note keeps its text
        e->accept();
        std::printf("dropped %lld\n", static_cast<long long>(e->mimeData()->text().size()));
        std::fflush(stdout);
    }
};
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    Target t;
    t.setWindowTitle(QStringLiteral("Drop here"));
    t.resize(300, 600);
    t.show();
    return app.exec();
}

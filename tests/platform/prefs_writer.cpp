// Writes rounds of values to a preferences database: in every round all fifty keys get the round's
// number in one transaction. Prints "ready" after the first round, then writes until killed.
#include "platform/Prefs.h"
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    Prefs prefs(QString::fromLocal8Bit(argv[1]));
    for (qint64 round = 1;; ++round) {
        for (int k = 0; k < 50; ++k) prefs.setInt(QStringLiteral("k%1").arg(k), round);
        prefs.setData(QStringLiteral("doc"), QByteArray(4096, char('a' + round % 26)));
        if (!prefs.flush()) return 3;
        if (round == 1) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}

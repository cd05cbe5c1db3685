// Saves a picture of the window in the middle of a transfer, for the documentation.
// Usage: window_snapshot PORT UPDATE_FILE OUTPUT.png   (e.g. under xvfb-run, with talpir-devsim
// pacing the line so that the transfer lasts a while)
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"

namespace {

constexpr int kShotAtPercent = 50;  // the bar's end then runs through the text
constexpr int kDeadlineMs = 60000;  // give up when the transfer does not move
constexpr int kPollMs = 50;         // how often progress is looked at

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: window_snapshot PORT UPDATE_FILE OUTPUT.png\n", stderr);
        return 1;
    }
    QTemporaryDir settingsDir;
    TfrUpdateOvr window(settingsDir.filePath(QStringLiteral("snapshot.INI")));
    window.findChild<QComboBox*>(QStringLiteral("NameComPort"))->setEditText(argv[1]);
    window.findChild<QLineEdit*>(QStringLiteral("FileName"))
        ->setText(QString::fromLocal8Bit(argv[2]));
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("btRun"))->click();

    auto* gauge = window.findChild<CGauge*>(QStringLiteral("FileProgresBar"));
    const QString output = QString::fromLocal8Bit(argv[3]);
    int result = 1;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (gauge->percent() >= kShotAtPercent) {
            result = window.grab().save(output) ? 0 : 1;
            QCoreApplication::exit(result);  // quit() would close, which asks about the transfer
        } else if (clock.elapsed() > kDeadlineMs) {
            const QString status =
                window.findChild<QStatusBar*>(QStringLiteral("StatusBar1"))->currentMessage();
            std::fprintf(stderr, "window_snapshot: the transfer did not get far enough (%s)\n",
                         qPrintable(status));
            QCoreApplication::exit(1);
        }
    });
    poll.start(kPollMs);
    QApplication::exec();
    return result;
}

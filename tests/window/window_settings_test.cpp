// The window's settings: read when it is made, written when it is destroyed.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "UnitFrUpdateOvr.h"
#include "settings_file.h"
#include "window_test_util.h"

using talpir::test::control;

namespace {

const QPoint kStored(30, 40);     // in the file before the run
const QPoint kMovedTo(250, 150);  // where the operator put the window

}  // namespace

class WindowSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_path = m_dir.filePath(QStringLiteral("talpir.INI")); }
    void cleanup() { QFile::remove(m_path); }

    void firstStartGivesTheDefaults() {
        TfrUpdateOvr window(m_path);
        QCOMPARE(window.pos(), QPoint(200, 100));
        QCOMPARE(window.windowState(), Qt::WindowNoState);
        QCOMPARE(control<QComboBox>(&window, "NameComPort")->currentText(), QStringLiteral("COM1"));
        QCOMPARE(control<QLineEdit>(&window, "FileName")->text(), QString());
    }

    void valuesSurviveARestart_data() {
        QTest::addColumn<int>("state");  // as the file numbers it
        QTest::addColumn<QPoint>("place");
        // A state other than normal keeps the place stored before it.
        QTest::newRow("normal") << 0 << kMovedTo;
        QTest::newRow("minimised") << 1 << kStored;
        QTest::newRow("maximised") << 2 << kStored;
    }

    void valuesSurviveARestart() {
        QFETCH(int, state);
        QFETCH(QPoint, place);
        const QString path = QStringLiteral("/tmp/Новая папка/update.fwx");
        writeFile({kStored.x(), kStored.y(), 0, "COM1", ""});
        {
            TfrUpdateOvr window(m_path);
            QCOMPARE(window.pos(), kStored);
            window.move(kMovedTo);
            window.setWindowState(state == 1   ? Qt::WindowMinimized
                                  : state == 2 ? Qt::WindowMaximized
                                               : Qt::WindowNoState);
            control<QComboBox>(&window, "NameComPort")->setEditText(QStringLiteral("COM12"));
            control<QLineEdit>(&window, "FileName")->setText(path);
        }
        const auto stored = talpir::settings::readSettings(m_path.toStdString());
        QCOMPARE(stored.windowState, state);

        TfrUpdateOvr again(m_path);
        QCOMPARE(again.pos(), place);
        QCOMPARE(again.isMinimized(), state == 1);
        QCOMPARE(again.isMaximized(), state == 2);
        QCOMPARE(control<QComboBox>(&again, "NameComPort")->currentText(), QStringLiteral("COM12"));
        auto* file = control<QLineEdit>(&again, "FileName");
        QCOMPARE(file->text(), path);
        QCOMPARE(file->cursorPosition(), path.size());
    }

    void aClearedFileIsStoredEmpty() {
        writeFile({200, 100, 0, "COM3", "/tmp/a.fwx"});
        {
            TfrUpdateOvr window(m_path);
            QCOMPARE(control<QLineEdit>(&window, "FileName")->text(), QStringLiteral("/tmp/a.fwx"));
            control<QLineEdit>(&window, "FileName")->clear();
        }
        QCOMPARE(talpir::settings::readSettings(m_path.toStdString()).fileName, std::string());
    }

    // A window placed where no screen shows it would be out of the operator's reach.
    void aPlaceOffEveryScreenGivesTheDefault() {
        writeFile({-30000, -30000, 0, "COM1", ""});
        TfrUpdateOvr window(m_path);
        QCOMPARE(window.pos(), QPoint(200, 100));
    }

    void aFailedWriteIsReportedAndTheWindowStillGoes() {
        // A folder that is a plain file: not even root can write there.
        QFile blocker(m_dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString path = m_dir.filePath(QStringLiteral("plain/talpir.INI"));
        talpir::test::SeenBox seen;
        talpir::test::ModalAnswer answer(
            [&seen](QWidget* box) { talpir::test::answerBox(box, QMessageBox::Ok, seen); });
        { TfrUpdateOvr window(path); }
        QVERIFY(seen.seen);
        QCOMPARE(seen.caption, QGuiApplication::applicationDisplayName());
        QCOMPARE(seen.text, QStringLiteral("Unable to write to %1.").arg(path));
        QCOMPARE(seen.icon, QMessageBox::Critical);
    }

private:
    void writeFile(const talpir::settings::WindowSettings& values) {
        std::string error;
        QVERIFY2(talpir::settings::writeSettings(m_path.toStdString(), values, &error),
                 error.c_str());
    }

    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_MAIN(WindowSettingsTest)
#include "window_settings_test.moc"

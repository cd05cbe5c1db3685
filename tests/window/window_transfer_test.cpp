// Transfers through the window to talpir-devsim: start, file dialog, abort, close, port errors.
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <cstdio>
#include <memory>
#include <vector>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "support/devsim_fixture.h"
#include "window_test_util.h"

using talpir::test::answerBox;
using talpir::test::control;
using talpir::test::DevSim;
using talpir::test::ModalAnswer;
using talpir::test::SeenBox;

namespace {

constexpr int kDeadlineMs = 30000;  // for a whole transfer, sanitizers included
constexpr int kJoinMs = 2000;       // a closing window must be gone well within this
const QString kAskAbort = QStringLiteral("Выдествительно хотите прервать процесс програмирования?");
const QString kDone = QStringLiteral("Передача файла завершена.");
const QString kStart = QStringLiteral("СТАРТ");
const QString kAbort = QStringLiteral("Прервать");

// Writes an update file of `blocks` blocks of `payload` bytes; gives the image it holds.
std::vector<unsigned char> writeUpdateFile(const std::string& path, int blocks, int payload) {
    std::vector<unsigned char> image;
    for (int b = 0; b < blocks; ++b) {
        image.push_back(static_cast<unsigned char>(payload >> 8));
        image.push_back(static_cast<unsigned char>(payload & 0xFF));
        for (int i = 0; i < payload; ++i) {
            image.push_back(static_cast<unsigned char>(b * 31 + i * 7));
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return {};
    }
    for (std::size_t i = 0; i < image.size(); ++i) {
        std::fprintf(file, (i % 16 == 15) ? "%02X\r\n" : "%02X ", image[i]);
    }
    std::fclose(file);
    return image;
}

}  // namespace

class WindowTransferTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = std::make_unique<TfrUpdateOvr>(QString::fromStdString(m_dir.file("w.INI")));
        m_window->show();
        m_update = m_dir.file("update.fwx");
        m_image = writeUpdateFile(m_update, 4, 200);
        QVERIFY(!m_image.empty());
    }
    void cleanup() {
        m_window.reset();
        m_device.reset();
    }

    void emptyFileFieldAndCancelledDialogStayIdle() {
        startDevice({});
        setPort(m_device->path());
        QFileDialog* shown = nullptr;
        ModalAnswer answer([&shown](QWidget* modal) {
            shown = qobject_cast<QFileDialog*>(modal);
            modal->close();
        });
        run()->click();
        QVERIFY(answer.done());
        QVERIFY(shown != nullptr);
        QCOMPARE(shown->objectName(), QStringLiteral("OpenDialog1"));
        QCOMPARE(shown->fileMode(), QFileDialog::AnyFile);
        QVERIFY(shown->testOption(QFileDialog::DontUseNativeDialog));
        // Back to idle at once: a transfer would still show "Прервать" here.
        verifyIdle();
        QCOMPARE(status(), QString());
    }

    void emptyFileFieldAndChosenFileStartsTheTransfer() {
        startDevice({});
        setPort(m_device->path());
        const QString path = QString::fromStdString(m_update);
        ModalAnswer answer([&path](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // the file dialog's own check runs
        });
        run()->click();
        QVERIFY(answer.done());
        QCOMPARE(fileField()->text(), path);
        QCOMPARE(run()->text(), kAbort);
        QTRY_COMPARE_WITH_TIMEOUT(status(), kDone, kDeadlineMs);
    }

    void wholeTransfer() {
        startDevice({"--save", m_dir.file("saved.bin")});
        setPort(m_device->path());
        fileField()->setText(QString::fromStdString(m_update));
        run()->click();
        verifyRunning();
        QTRY_COMPARE_WITH_TIMEOUT(status(), kDone, kDeadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(run()->text(), kStart, kDeadlineMs);
        verifyIdle();
        QCOMPARE(gauge()->maximum(), int(m_image.size()));
        QCOMPARE(gauge()->position(), int(m_image.size()));
        QCOMPARE(gauge()->percent(), 100);
        // What the device accepted is the image, block by block.
        QTRY_VERIFY_WITH_TIMEOUT(talpir::test::readFileBytes(m_dir.file("saved.bin")) == m_image,
                                 kDeadlineMs);
    }

    // Every ending of the engine shows on the status line and leaves the window idle.
    void endingsShowOnTheStatusLine_data() {
        QTest::addColumn<QStringList>("device");
        QTest::addColumn<QString>("expected");
        QTest::newRow("version error") << QStringList{"--version-error", "1"} << "Ошибка версии.";
        QTest::newRow("fourth refusal")
            << QStringList{"--refuse-block", "0"} << "default error. File damaged.";
        QTest::newRow("bad echo") << QStringList{"--bad-echo", "1:2"} << "Ошибка чтения эха =2";
        QTest::newRow("line lost")
            << QStringList{"--hangup-after", "300"} << "Связь с устройством потеряна.";
        QTest::newRow("refused three times") << QStringList{"--refuse-first", "3"} << kDone;
    }

    void endingsShowOnTheStatusLine() {
        QFETCH(QStringList, device);
        QFETCH(QString, expected);
        std::vector<std::string> args;
        for (const QString& arg : device) {
            args.push_back(arg.toStdString());
        }
        startDevice(args);
        startTransfer();
        QTRY_COMPARE_WITH_TIMEOUT(run()->text(), kStart, kDeadlineMs);
        verifyIdle();
        QCOMPARE(status(), expected);
    }

    void abortAnsweredNoGoesOn() {
        startDevice({"--baud", "2400"});
        startTransfer();
        SeenBox seen;
        ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::No, seen); });
        run()->click();
        QVERIFY(answer.done());
        verifyQuestion(seen);
        verifyRunning();
        QTRY_COMPARE_WITH_TIMEOUT(status(), kDone, kDeadlineMs);
    }

    void abortAnsweredYesStopsWithoutText() {
        startDevice({"--silent", "0"});
        startTransfer();
        SeenBox seen;
        ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::Yes, seen); });
        run()->click();
        QVERIFY(answer.done());
        verifyQuestion(seen);
        QCOMPARE(run()->text(), kAbort);
        QVERIFY(!run()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(run()->text(), kStart, kDeadlineMs);
        verifyIdle();
        QCOMPARE(status(), QString());
    }

    // The transfer ends while the question is open: a Yes must not leave START disabled.
    void abortAnsweredYesAfterTheEndKeepsStartUsable() {
        startDevice({});
        startTransfer();
        SeenBox seen;
        ModalAnswer answer([this, &seen](QWidget* modal) {
            QTRY_COMPARE_WITH_TIMEOUT(run()->text(), kStart, kDeadlineMs);
            answerBox(modal, QMessageBox::Yes, seen);
        });
        run()->click();
        QVERIFY(answer.done());
        QVERIFY(seen.seen);
        verifyIdle();
        QCOMPARE(status(), kDone);
    }

    void closeWhenIdleAsksNothing() {
        ModalAnswer answer([](QWidget* modal) { modal->close(); }, 0);
        QVERIFY(m_window->close());
        QVERIFY(!answer.done());
    }

    void closeAnsweredNoKeepsTheTransfer() {
        startDevice({"--baud", "2400"});
        startTransfer();
        SeenBox seen;
        ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::No, seen); });
        QVERIFY(!m_window->close());
        QVERIFY(answer.done());
        verifyQuestion(seen);
        QVERIFY(m_window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(status(), kDone, kDeadlineMs);
    }

    // The engine waits on a silent device; closing must end it and leave the window alone.
    void closeAnsweredYesEndsTheEngine() {
        startDevice({"--silent", "0"});
        startTransfer();
        SeenBox seen;
        ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::Yes, seen); });
        QVERIFY(m_window->close());
        QVERIFY(answer.done());
        verifyQuestion(seen);
        verifyEngineLeftTheWindowAlone();
        verifyDestroyedPromptly();
    }

    void missingPortShowsTheErrorAndGoesIdle() {
        setPort(kMissingPort);
        fileField()->setText(QString::fromStdString(m_update));
        run()->click();
        QTRY_VERIFY_WITH_TIMEOUT(engineBox() != nullptr, kDeadlineMs);
        QMessageBox* box = engineBox();
        QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(box->text(), QStringLiteral("Невозможно открыть последовательный порт."));
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        // The box holds the engine, not the window.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(m_window->isEnabled());
        QCOMPARE(run()->text(), kAbort);
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE_WITH_TIMEOUT(run()->text(), kStart, kDeadlineMs);
        verifyIdle();
    }

    void closingReleasesAnEngineHeldByItsBox() {
        setPort(kMissingPort);
        fileField()->setText(QString::fromStdString(m_update));
        run()->click();
        QTRY_VERIFY_WITH_TIMEOUT(engineBox() != nullptr, kDeadlineMs);
        SeenBox seen;
        ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::Yes, seen); });
        QVERIFY(m_window->close());
        QVERIFY(answer.done());
        verifyEngineLeftTheWindowAlone();
        verifyDestroyedPromptly();
    }

private:
    static constexpr char kMissingPort[] = "/dev/talpir-no-such-port";

    void startDevice(const std::vector<std::string>& args) {
        m_device = std::make_unique<DevSim>(TALPIR_DEVSIM, args);
        QVERIFY2(m_device->isReady(), m_device->error().c_str());
    }

    void startTransfer() {
        setPort(m_device->path());
        fileField()->setText(QString::fromStdString(m_update));
        run()->click();
        verifyRunning();
    }

    void setPort(const std::string& name) {
        control<QComboBox>(m_window.get(), "NameComPort")
            ->setEditText(QString::fromStdString(name));
    }

    // The engine's error box, once it shows.
    QMessageBox* engineBox() {
        auto* box = m_window->findChild<QMessageBox*>(QStringLiteral("EngineErrorBox"));
        return box != nullptr && box->isVisible() ? box : nullptr;
    }

    void verifyQuestion(const SeenBox& seen) {
        QVERIFY(seen.seen);
        QCOMPARE(seen.caption, QStringLiteral("Предупреждение"));
        QCOMPARE(seen.text, kAskAbort);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seen.defaultButton, QMessageBox::Yes);
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
    }

    void verifyRunning() {
        QCOMPARE(run()->text(), kAbort);
        QVERIFY(run()->isEnabled());
        verifyInputs(false);
    }

    void verifyIdle() {
        QCOMPARE(run()->text(), kStart);
        QVERIFY(run()->isEnabled());
        verifyInputs(true);
    }

    void verifyInputs(bool enabled) {
        for (const char* name : {"NameComPort", "FileName", "FileNameLabel", "SelektFile"}) {
            QVERIFY2(control<QWidget>(m_window.get(), name)->isEnabled() == enabled, name);
        }
    }

    // After a close the engine ends by itself, without going back to idle.
    void verifyEngineLeftTheWindowAlone() {
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->workerRunning(), kJoinMs);
        QCoreApplication::processEvents();  // anything it queued would show now
        QCOMPARE(run()->text(), kAbort);
        QCOMPARE(status(), QString());
    }

    // Destroying the window joins the worker, which must see the stop request at once.
    void verifyDestroyedPromptly() {
        QElapsedTimer clock;
        clock.start();
        m_window.reset();
        QVERIFY2(clock.elapsed() < kJoinMs, qPrintable(QString::number(clock.elapsed())));
    }

    QPushButton* run() { return control<QPushButton>(m_window.get(), "btRun"); }
    QLineEdit* fileField() { return control<QLineEdit>(m_window.get(), "FileName"); }
    CGauge* gauge() { return control<CGauge>(m_window.get(), "FileProgresBar"); }
    QString status() { return control<QStatusBar>(m_window.get(), "StatusBar1")->currentMessage(); }

    talpir::test::TempDir m_dir;
    std::string m_update;
    std::vector<unsigned char> m_image;
    std::unique_ptr<DevSim> m_device;
    std::unique_ptr<TfrUpdateOvr> m_window;
};

QTEST_MAIN(WindowTransferTest)
#include "window_transfer_test.moc"

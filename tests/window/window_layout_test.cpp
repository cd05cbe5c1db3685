// The window's frame, controls (place, text, tab order), gauge, title rule and worker thread.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "exchange_u.h"
#include "window_test_util.h"

using talpir::test::control;

namespace {

constexpr int kNoTab = 0;  // the control takes no focus

// What the operator reads on a control.
QString shownText(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* status = qobject_cast<QStatusBar*>(widget)) {
        return status->currentMessage();
    }
    if (auto* gauge = qobject_cast<CGauge*>(widget)) {
        return QString::number(gauge->percent()) + QLatin1Char('%');
    }
    return QStringLiteral("<unknown kind>");
}

const char* const kTabbed[] = {"btRun", "NameComPort", "FileName", "SelektFile", "StaticText1"};

// 1-based place of name among the tabbed controls along the window's focus chain.
int tabPlace(QWidget* window, const QString& name) {
    int place = 0;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        for (const char* tabbed : kTabbed) {
            if (w->objectName() == QLatin1String(tabbed)) {
                ++place;
                if (w->objectName() == name) {
                    return place;
                }
            }
        }
    }
    return -1;
}

// Gray levels of the gauge's inside, painted offscreen.
struct Ink {
    int white = 0;
    int black = 0;
};

Ink inkInside(CGauge& gauge) {
    const QImage image = gauge.grab().toImage();
    Ink ink;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            const int gray = qGray(image.pixel(x, y));
            ink.white += gray > 200 ? 1 : 0;
            ink.black += gray < 55 ? 1 : 0;
        }
    }
    return ink;
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = std::make_unique<TfrUpdateOvr>(m_dir.filePath(QStringLiteral("w.INI")));
    }
    void cleanup() { m_window.reset(); }

    void frame() {
        QCOMPARE(m_window->objectName(), QStringLiteral("frUpdateOvr"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Программатор ТАЛПИР версия 1.2"));
        QCOMPARE(m_window->size(), QSize(425, 145));
        QCOMPARE(m_window->minimumSize(), QSize(425, 145));
        QCOMPARE(m_window->maximumSize(), QSize(425, 145));
        const Qt::WindowFlags flags = m_window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(m_window->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(m_window->font().pixelSize(), 11);
    }

    void controls_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tab");

        QTest::newRow("StaticText1")
            << "QLabel" << QRect(8, 17, 132, 17) << "Последовательный порт:" << 5;
        QTest::newRow("NameComPort") << "PortComboBox" << QRect(144, 15, 137, 21) << "COM1" << 2;
        QTest::newRow("FileName") << "LabeledEdit" << QRect(8, 59, 385, 21) << "" << 3;
        QTest::newRow("FileNameLabel")
            << "QLabel" << QRect(8, 43, 159, 13) << "Выберите файл для смены ПО:" << kNoTab;
        QTest::newRow("SelektFile") << "QPushButton" << QRect(392, 57, 25, 25) << "..." << 4;
        QTest::newRow("FileProgresBar") << "CGauge" << QRect(8, 96, 273, 25) << "0%" << kNoTab;
        QTest::newRow("btRun") << "QPushButton" << QRect(288, 96, 89, 25) << "СТАРТ" << 1;
        QTest::newRow("StatusBar1") << "QStatusBar" << QRect(0, 126, 425, 19) << "" << kNoTab;
    }

    void controls() {
        QFETCH(QString, kind);
        QFETCH(QRect, place);
        QFETCH(QString, text);
        QFETCH(int, tab);
        const QString name = QString::fromLatin1(QTest::currentDataTag());

        auto* widget = m_window->findChild<QWidget*>(name);
        QVERIFY2(widget != nullptr, qPrintable(name));
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
        QCOMPARE(widget->parentWidget(), m_window.get());
        QCOMPARE(widget->geometry(), place);
        QCOMPARE(shownText(widget), text);
        QVERIFY(widget->isEnabled());
        if (tab == kNoTab) {
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        } else {
            QCOMPARE(tabPlace(m_window.get(), name), tab);
        }
    }

    void statusBarHasNoGrip() {
        QVERIFY(!control<QStatusBar>(m_window.get(), "StatusBar1")->isSizeGripEnabled());
    }

    void startHasTheFocus() {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(QApplication::focusWidget(), control<QWidget>(m_window.get(), "btRun"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* port = control<QComboBox>(m_window.get(), "NameComPort");
        QVERIFY(QApplication::focusWidget() == port ||
                QApplication::focusWidget() == port->lineEdit());
    }

    void fileLabelGreysWithItsEdit() {
        auto* edit = control<QLineEdit>(m_window.get(), "FileName");
        auto* label = control<QLabel>(m_window.get(), "FileNameLabel");
        edit->setEnabled(false);
        QVERIFY(!label->isEnabled());
        edit->setEnabled(true);
        QVERIFY(label->isEnabled());
    }

    void portListKeepsTypedName() {
        auto* port = qobject_cast<QComboBox*>(control<QComboBox>(m_window.get(), "NameComPort"));
        QVERIFY(port->isEditable());
        port->setEditText(QStringLiteral("COM12"));
        port->showPopup();
        port->hidePopup();
        QCOMPARE(port->currentText(), QStringLiteral("COM12"));
#ifdef Q_OS_WIN
        for (int n = 1; n <= 9; ++n) {
            QVERIFY(port->findText(QStringLiteral("COM%1").arg(n)) >= 0);
        }
#endif
    }

    void gauge_data() {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("percent");

        QTest::newRow("start") << 0 << 100 << 0 << 0 << 0;
        QTest::newRow("rounds down") << 0 << 3 << 2 << 2 << 66;
        QTest::newRow("full") << 0 << 1035 << 1035 << 1035 << 100;
        QTest::newRow("offset range") << 10 << 20 << 15 << 15 << 50;
        QTest::newRow("empty range") << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("above") << 0 << 100 << 150 << 100 << 100;
        QTest::newRow("below") << 10 << 100 << 3 << 10 << 0;
        QTest::newRow("image of 1 MiB") << 0 << 1048576 << 1048575 << 1048575 << 99;
    }

    void gauge() {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, position);
        QFETCH(int, kept);
        QFETCH(int, percent);
        CGauge gauge;
        QCOMPARE(gauge.minimum(), 0);
        QCOMPARE(gauge.maximum(), 100);
        QCOMPARE(gauge.position(), 0);
        gauge.setMinimum(minimum);
        gauge.setMaximum(maximum);
        gauge.setPosition(position);
        QCOMPARE(gauge.position(), kept);
        QCOMPARE(gauge.percent(), percent);
    }

    // The text must stay readable on both sides: white on the bar, black on the white.
    void gaugeTextInvertsWhatIsBeneath() {
        CGauge gauge;
        gauge.resize(273, 25);
        const Ink empty = inkInside(gauge);
        QVERIFY(empty.black > 0);  // "0%" in black on white
        gauge.setPosition(100);
        const Ink full = inkInside(gauge);
        QVERIFY(full.white > 0);  // "100%" in white on the black bar
        QVERIFY(full.black > full.white);
    }

    void applicationTitle_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("windows") << "C:/Tools/TALPIR.EXE"
                                 << "Talpir";
        QTest::newRow("first dot") << "/opt/Prog.V2.exe"
                                   << "Prog";
        QTest::newRow("no extension") << "/usr/bin/talpir-programmer"
                                      << "talpir-programmer";
        QTest::newRow("mixed") << "Talpir-Programmer.exe"
                               << "Talpir-programmer";
    }

    void applicationTitle() {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(::applicationTitle(path), title);
    }

    void workerRunsOnceAndFreesItself() {
        int calls = 0;
        auto* worker = new TExchange(false, [&calls] {
            ++calls;
            return true;
        });
        QSignalSpy destroyed(worker, &QObject::destroyed);
        QVERIFY(destroyed.wait(5000));
        QCOMPARE(calls, 1);
    }

    // An escaping exception would end the process; it must end only the worker.
    void workerSurvivesAnEscapingException() {
        auto* worker = new TExchange(true, []() -> bool { throw std::runtime_error("port"); });
        QSignalSpy destroyed(worker, &QObject::destroyed);
        QVERIFY(!worker->isRunning());
        worker->start();
        QVERIFY(destroyed.wait(5000));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TfrUpdateOvr> m_window;
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"

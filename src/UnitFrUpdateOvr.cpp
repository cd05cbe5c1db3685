// TfrUpdateOvr: controls, run states, the handlers and the settings kept between runs.
#include "UnitFrUpdateOvr.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <vector>

#include "cgauge.h"
#include "exchange_u.h"
#include "link/texts.h"
#include "settings_file.h"
#include "window_controls.h"

namespace {

namespace texts = talpir::link::texts;

constexpr int kClientWidth = 425;   // fixed client area
constexpr int kClientHeight = 145;  //
constexpr int kFontPixels = 11;     // MS Sans Serif 8 pt at 96 dpi
constexpr int kDefaultLeft = 200;   // placement when the stored one is off every screen
constexpr int kDefaultTop = 100;    //

constexpr char kCaption[] = "Программатор ТАЛПИР версия 1.2";
constexpr char kPortLabel[] = "Последовательный порт:";
constexpr char kFileLabel[] = "Выберите файл для смены ПО:";
constexpr char kBrowse[] = "...";
constexpr char kAskAbort[] = "Выдествительно хотите прервать процесс програмирования?";
constexpr char kWarningCaption[] = "Предупреждение";
constexpr char kFileFilter[] = "File update (*.fwx)";

// Window state as the settings file numbers it.
constexpr int kStateNormal = 0;
constexpr int kStateMinimised = 1;
constexpr int kStateMaximised = 2;

int stateToFile(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized) {
        return kStateMinimised;
    }
    return (state & Qt::WindowMaximized) ? kStateMaximised : kStateNormal;
}

Qt::WindowState stateFromFile(int state) {
    switch (state) {
        case kStateMinimised:
            return Qt::WindowMinimized;
        case kStateMaximised:
            return Qt::WindowMaximized;
        default:
            return Qt::WindowNoState;  // 0, or a number with no meaning
    }
}

std::vector<talpir::settings::Rect> screenAreas() {
    std::vector<talpir::settings::Rect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();
        areas.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return areas;
}

}  // namespace

QString applicationTitle(const QString& executablePath) {
    const QString name = QFileInfo(executablePath).fileName().section(QLatin1Char('.'), 0, 0);
    return name.left(1) + name.mid(1).toLower();
}

TfrUpdateOvr::TfrUpdateOvr(const QString& settingsFile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_settingsFile(settingsFile) {
    setObjectName(QStringLiteral("frUpdateOvr"));
    setWindowTitle(QString::fromUtf8(kCaption));
    // Where MS Sans Serif is missing, a sans of about its width keeps the texts in their fields.
    const QString family = QStringLiteral("MS Sans Serif");
    QFont::insertSubstitutions(family,
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("DejaVu Sans Condensed")});
    QFont windowFont(family);
    windowFont.setPixelSize(kFontPixels);
    setFont(windowFont);
    setFixedSize(kClientWidth, kClientHeight);
    createControls();
    placeControls();
    FormCreate();
}

TfrUpdateOvr::~TfrUpdateOvr() {
    // The engine must be gone before any control is.
    setClosing(true);
    joinWorker();
    FormDestroy();
}

QString TfrUpdateOvr::defaultSettingsPath() {
    const std::string exe = QCoreApplication::applicationFilePath().toStdString();
    return QString::fromStdString(talpir::settings::settingsPath(exe));
}

// Made in tab order, so that the focus chain starts at btRun.
void TfrUpdateOvr::createControls() {
    btRun = new QPushButton(QString::fromUtf8(texts::kStart), this);
    btRun->setObjectName(QStringLiteral("btRun"));
    NameComPort = new PortComboBox(this);
    NameComPort->setObjectName(QStringLiteral("NameComPort"));
    FileName = new LabeledEdit(QString::fromUtf8(kFileLabel), this);
    FileName->setObjectName(QStringLiteral("FileName"));
    FileName->label()->setObjectName(QStringLiteral("FileNameLabel"));
    SelektFile = new QPushButton(QString::fromUtf8(kBrowse), this);
    SelektFile->setObjectName(QStringLiteral("SelektFile"));
    StaticText1 = new QLabel(QString::fromUtf8(kPortLabel), this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    FileProgresBar = new CGauge(this);
    FileProgresBar->setObjectName(QStringLiteral("FileProgresBar"));
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    connect(btRun, &QPushButton::clicked, this, &TfrUpdateOvr::btRunClick);
    connect(SelektFile, &QPushButton::clicked, this, &TfrUpdateOvr::SelektFileClick);
}

void TfrUpdateOvr::placeControls() {
    StaticText1->setGeometry(8, 17, 132, 17);
    NameComPort->setGeometry(144, 15, 137, 21);
    FileName->label()->setGeometry(8, 43, 159, 13);
    FileName->setGeometry(8, 59, 385, 21);
    SelektFile->setGeometry(392, 57, 25, 25);
    FileProgresBar->setGeometry(8, 96, 273, 25);
    btRun->setGeometry(288, 96, 89, 25);
    StatusBar1->setGeometry(0, 126, 425, 19);

    setTabOrder(btRun, NameComPort);
    setTabOrder(NameComPort, FileName);
    setTabOrder(FileName, SelektFile);
    setTabOrder(SelektFile, StaticText1);
    btRun->setFocus();
}

bool TfrUpdateOvr::transferInProgress() const {
    return btRun->text() == QString::fromUtf8(texts::kAbort);
}

bool TfrUpdateOvr::workerRunning() const {
    return m_worker && !m_worker->isFinished();
}

void TfrUpdateOvr::btRunClick() {
    if (transferInProgress()) {
        // The transfer may have ended while the question was open: keep START usable then.
        if (askAbort() && transferInProgress()) {
            enableRun(false);
        }
        return;
    }
    setRunState(true);
    if (FileName->text().isEmpty() && !chooseFile()) {
        setRunState(false);
        return;
    }
    setClosing(false);
    FileProgresBar->setPosition(0);
    m_start = {FileName->text().toStdString(), NameComPort->currentText().toStdString(),
               FileProgresBar->minimum()};
    joinWorker();  // the previous one has ended already; do not leave it behind
    m_worker = new TExchange(false, [this] { return DoExchange(); });
}

void TfrUpdateOvr::SelektFileClick() {
    QFileDialog* dialog = openDialog();
    dialog->setNameFilter(QString::fromUtf8(kFileFilter));
    const QString current = FileName->text();
    if (!current.isEmpty()) {
        dialog->setDirectory(QFileInfo(current).absolutePath());
        dialog->selectFile(current);
    }
    chooseFile();
}

void TfrUpdateOvr::closeEvent(QCloseEvent* event) {
    if (transferInProgress() && !askAbort()) {
        event->ignore();
        return;
    }
    setClosing(true);
    event->accept();
}

// Running: caption "Прервать" and the inputs greyed; idle: the reverse.
void TfrUpdateOvr::setRunState(bool running) {
    btRun->setText(QString::fromUtf8(running ? texts::kAbort : texts::kStart));
    if (running) {
        SelektFile->setEnabled(false);
        NameComPort->setEnabled(false);
        FileName->setEnabled(false);
    } else {
        setInputsEnabledNow(true);
    }
}

void TfrUpdateOvr::enableRun(bool enabled) {
    btRun->setEnabled(enabled);
    m_runEnabled.store(enabled);
}

void TfrUpdateOvr::setInputsEnabledNow(bool enabled) {
    NameComPort->setEnabled(enabled);
    SelektFile->setEnabled(enabled);
    FileName->setEnabled(enabled);
}

void TfrUpdateOvr::setClosing(bool closing) {
    {
        // Under the lock, so that an engine waiting for its box cannot miss the change.
        std::lock_guard lock(m_boxMutex);
        FClosing.store(closing);
    }
    m_boxDone.notify_all();
}

// True unless the operator answered No.
bool TfrUpdateOvr::askAbort() {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kWarningCaption),
                    QString::fromUtf8(kAskAbort), QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("AbortQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() != QMessageBox::No;
}

// Made on first use; afterwards it keeps what the browse handler set.
QFileDialog* TfrUpdateOvr::openDialog() {
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
        OpenDialog1->setOption(QFileDialog::ReadOnly, false);
        OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
        OpenDialog1->setFileMode(QFileDialog::AnyFile);  // a name that does not exist is fine
    }
    return OpenDialog1;
}

// True when the operator chose a file; it is then in the file field.
bool TfrUpdateOvr::chooseFile() {
    QFileDialog* dialog = openDialog();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return false;
    }
    setFileText(QDir::toNativeSeparators(dialog->selectedFiles().constFirst()));
    return true;
}

void TfrUpdateOvr::setFileText(const QString& path) {
    FileName->setText(path);
    FileName->end(false);
}

void TfrUpdateOvr::joinWorker() {
    if (m_worker) {
        m_worker->wait();
        delete m_worker.data();  // drops its pending deleteLater with it
    }
}

void TfrUpdateOvr::FormCreate() {
    namespace settings = talpir::settings;
    const settings::WindowSettings values = settings::readSettings(m_settingsFile.toStdString());
    QPoint place(values.left, values.top);
    const QSize size = frameGeometry().size();
    if (!settings::placementVisible(place.x(), place.y(), size.width(), size.height(),
                                    screenAreas())) {
        place = QPoint(kDefaultLeft, kDefaultTop);
    }
    move(place);
    setWindowState(stateFromFile(values.windowState));
    NameComPort->setEditText(QString::fromStdString(values.comPortName));
    setFileText(QString::fromStdString(values.fileName));
}

void TfrUpdateOvr::FormDestroy() {
    namespace settings = talpir::settings;
    settings::WindowSettings values;
    values.windowState = stateToFile(windowState());
    values.left = pos().x();
    values.top = pos().y();
    values.comPortName = NameComPort->currentText().toStdString();
    values.fileName = FileName->text().toStdString();
    std::string error;
    if (!settings::writeSettings(m_settingsFile.toStdString(), values, &error)) {
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                              QString::fromStdString(error) + QLatin1Char('.'));
    }
}

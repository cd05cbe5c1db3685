// talpir-programmer: start-up of the operator window.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "UnitFrUpdateOvr.h"

namespace {

// The standard error box: the application's title as caption, a full stop after the text.
void showFatal(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('.'))) {
        text += QLatin1Char('.');
    }
    QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), text);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name, not the display name: Qt would append a display name to every caption.
    QCoreApplication::setApplicationName(applicationTitle(QCoreApplication::applicationFilePath()));
    try {
        TfrUpdateOvr window;
        window.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        showFatal(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        showFatal(QString());
    }
    return 1;
}

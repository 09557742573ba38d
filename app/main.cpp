// Entry point of the desktop application.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>

#include "crash_handler.h"
#include "engine/scan_history.h"
#include "language_manager.h"
#include "main_wnd.h"
#include "message_box.h"
#include "platform/paths.h"
#include "player_processes.h"
#include "single_instance.h"
#include "skin_images.h"

namespace {

const char *const kTitle = "Vexlo SD Card Data Recovery";

// Pictures are previewed through Qt's image plug-ins; without the JPEG one
// the program cannot do what it is for.
bool pictureDecodingAvailable()
{
    return QImageReader::supportedImageFormats().contains("jpeg");
}

} // namespace

int main(int argc, char **argv)
{
    InstallCrashHandler();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kTitle));
    // Lets the desktop match the window with its launcher (and its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vexlo.SdRecovery"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vexlo-sd-recovery"),
                                                 SkinIcon(QStringLiteral("scan_files.png"))));
    QApplication::setQuitOnLastWindowClosed(true);

    SingleInstance instance(QString::fromStdString(vexlo::platform::RuntimeDir().string()));
    if (!instance.acquire()) {
        if (!instance.askRunningToRaise()) {
            CMessageBox::Show(CMessageBox::Information, nullptr,
                              QStringLiteral("%1 is running.").arg(QLatin1String(kTitle)));
        }
        return 0;
    }

    if (!pictureDecodingAvailable()) {
        // The plug-in comes with a Debian package: name it, so the user can
        // put it back.
        QMessageBox::information(nullptr, QString::fromLatin1(kTitle),
                                 LanguageManager::Instance().Text(QStringLiteral("Messages"),
                                                                  QStringLiteral("MSG0514")));
        return 0;
    }

    // The one scan history of this run; everything that scans is handed it.
    vexlo::ScanHistory history(vexlo::platform::ScanLogRoot());
    int result = 0;
    {
        CMainWnd window(MainWndServices::Real(history));
        QObject::connect(&instance, &SingleInstance::raiseRequested, &window, [&window] {
            window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            window.show();
            window.raise();
            window.activateWindow();
        });
        window.resize(window.minimumSize());
        window.move(window.screen()->availableGeometry().center() - window.rect().center());
        window.show();
        instance.listen();
        result = app.exec();
    }

    PlayerProcesses::Instance().endAll();
    QFile::remove(QString::fromStdString((history.root() / "tmp.avi").string()));
    return result;
}

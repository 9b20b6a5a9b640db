// SPDX-License-Identifier: GPL-3.0-or-later
// tarn_screenshots OUTPUT-FOLDER DPI (started by scripts/screenshots.sh on an
// X display at that DPI, with a window manager, for real fonts and frames):
// shows each window of kShots and saves it, frame included, as
// OUTPUT-FOLDER/NAME-DPIdpi.png. A window not wholly on the screen, or never
// framed, makes it end with status 1. The player runs over the recording fakes
// with the real Qt host, so that a Wait really waits while it is pictured.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "../../tests/common/ModalWatch.h"
#include "FakePlatform.h"
#include "Help.h"
#include "QtHost.h"
#include "Settings.h"
#include "frmAbout.h"
#include "frmMacroEditor.h"
#include "frmTarn.h"

namespace {

using tarn::frmTarn;

class Shooter {
  public:
    Shooter(QString psvFolder, int piDpi) : msvFolder(std::move(psvFolder)), miDpi(piDpi) {}

    // Waits until the window manager has framed the window and it is drawn,
    // then saves the screen's picture of the frame.
    void shoot(QWidget* poWindow, const QString& psvName) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 3000 && poWindow->frameGeometry() == poWindow->geometry())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        settle(400);
        const QRect frame = poWindow->frameGeometry();
        QScreen* screen = poWindow->screen();
        const QString file = QStringLiteral("%1/%2-%3dpi.png").arg(msvFolder, psvName).arg(miDpi);
        const bool framed = frame != poWindow->geometry();
        const bool whole = screen && screen->geometry().contains(frame);
        if (!framed || !whole) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file),
                         !framed ? "the window manager did not frame the window"
                                 : "the window is not wholly on the screen");
            mbFailed = true;
        }
        if (!screen) return;
        // 256 colours are plenty for a window and keep the files small; quality 0
        // is PNG's strongest compression.
        const QImage picture =
            screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                .toImage()
                .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        if (!picture.save(file, "PNG", 0)) {
            std::fprintf(stderr, "%s: cannot be written\n", qPrintable(file));
            mbFailed = true;
            return;
        }
        std::printf("%s\n", qPrintable(file));
    }

    // Pending events and painting, for about piMs milliseconds.
    static void settle(int piMs) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < piMs)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    bool failed() const { return mbFailed; }
    tarn::Platform platform() {
        return tarn::Platform{mFake.windows,   mFake.keyboard, mFake.processes,
                              mFake.documents, mFake.session,  mHost};
    }
    // A macro file in the (temporary) home folder, as a user types its path.
    QString macro(const QString& psvName, const QByteArray& psvText) {
        QFile file(QDir::home().filePath(psvName));
        if (file.open(QIODevice::WriteOnly)) file.write(psvText);
        return QStringLiteral("~/") + psvName;
    }
    QString traceFile() const { return QDir::home().filePath(QStringLiteral("TarnTrace.txt")); }

  private:
    QString msvFolder;
    int miDpi;
    bool mbFailed = false;
    tarn::fake::FakePlatform mFake;
    tarn::QtHost mHost;
};

// An interactive player as the user finds it, with a macro path in the box.
std::unique_ptr<frmTarn> loadedPlayer(Shooter& poShooter) {
    auto form = std::make_unique<frmTarn>(poShooter.platform(), std::nullopt);
    form->setTraceFilePath(poShooter.traceFile());
    form->Form_Load();
    form->findChild<QLineEdit*>(QStringLiteral("txtMacroFile"))
        ->setText(QStringLiteral("~/Macros/daily-report.mcr"));
    return form;
}

void shootPlayer(Shooter& poShooter, const QString& psvName) {
    auto form = loadedPlayer(poShooter);
    poShooter.shoot(form.get(), psvName);
    form->close();
}

// During a run: the window grown by the activity row, a Wait in progress.
void shootPlayerRunning(Shooter& poShooter, const QString& psvName) {
    auto form = loadedPlayer(poShooter);
    form->findChild<QLineEdit*>(QStringLiteral("txtMacroFile"))
        ->setText(poShooter.macro(QStringLiteral("running.mcr"),
                                  "pauseForTyping = 30\r\n"
                                  "Wait pauseForTyping\r\n"));
    QTimer::singleShot(300, form.get(), [&] {
        poShooter.shoot(form.get(), psvName);
        form->cmdStop_Click();
    });
    form->cmdGo_Click();
    form->close();
}

// The "Retry ?" box of a failed line that is longer than the box is wide.
void shootRetry(Shooter& poShooter, const QString& psvName) {
    auto form = loadedPlayer(poShooter);
    form->findChild<QLineEdit*>(QStringLiteral("txtMacroFile"))
        ->setText(poShooter.macro(QStringLiteral("retry.mcr"),
                                  "Send Dear customer,~~your reference is "
                                  "InvoiceReference:7f3a9c0e2b8d4f6a1c5e9b3d7f2a6c0e4b8d2f6a9c3e7b"
                                  "1d5f9a3c7e0b4d8f2a6c9e{BOGUS}\r\n"));
    ModalWatch watch(
        [&](QWidget* box) {
            poShooter.shoot(box, psvName);
            if (auto* question = qobject_cast<QMessageBox*>(box))
                question->button(QMessageBox::No)->click();
            else
                box->close();
        },
        nullptr, 10000);
    form->cmdGo_Click();
    form->close();
}

void shootAbout(Shooter& poShooter, const QString& psvName) {
    tarn::frmAbout about;
    about.show();
    poShooter.shoot(&about, psvName);
    about.close();
}

void shootHelp(Shooter& poShooter, const QString& psvName) {
    auto form = loadedPlayer(poShooter);
    tarn::showHelpTopics(form.get());
    QWidget* help = tarn::helpTopicsWindow();
    if (help) poShooter.shoot(help, psvName);
    form->close();
}

// The first lines of an example macro, as the editor and the trace show them.
constexpr const char* kExampleLines =
    "Rem Start a terminal, wait for its window, and type into it\r\n"
    "pid = Run xterm -T \"Tarn example\" -e cat\r\n"
    "w = GetWindowID Tarn example,2\r\n"
    "SetFocus pid\r\n";

// An editor window, or with pbViewer the trace viewer, on the file psvPath
// holding psvBytes.
void shootEditorOn(Shooter& poShooter, const QString& psvName, bool pbViewer,
                   const QString& psvPath, const QByteArray& psvBytes) {
    QFile file(psvPath);
    if (file.open(QIODevice::WriteOnly)) file.write(psvBytes);
    file.close();
    tarn::editor::frmMacroEditor window;
    if (pbViewer) window.ViewLogMode();
    window.OpenMacro(psvPath);
    window.show();
    poShooter.shoot(&window, psvName);
    window.Unload();
}

// The editor holding a macro, with the language's colours and line numbers.
void shootEditor(Shooter& poShooter, const QString& psvName) {
    shootEditorOn(poShooter, psvName, false, QDir::home().filePath(QStringLiteral("example.mcr")),
                  QByteArray(kExampleLines) +
                      "Send h\xc3\xa9llo w\xc3\xb6rld \xe2\x82\xacuro~{TAB 2}^(a)+{HOME}\r\n"
                      "Wait 2\r\n"
                      "CloseWindow w\r\n");
}

// The trace viewer on a trace whose run failed.
void shootViewer(Shooter& poShooter, const QString& psvName) {
    shootEditorOn(poShooter, psvName, true, poShooter.traceFile(),
                  QByteArray(kExampleLines) +
                      "Send hello~(\r\n"
                      "Error 5 - Invalid procedure call or argument\r\n");
}

struct Shot {
    const char* name;
    void (*take)(Shooter&, const QString& psvName);
};

const Shot kShots[] = {
    {"player", shootPlayer}, {"player-running", shootPlayerRunning},
    {"retry", shootRetry},   {"about", shootAbout},
    {"help", shootHelp},     {"editor", shootEditor},
    {"viewer", shootViewer},
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3 || QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "usage: tarn_screenshots OUTPUT-FOLDER DPI (on an X display)\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    // Settings and a home folder of its own: the player opens centred, with
    // nothing remembered, and the macros are written nowhere else.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    tarn::setSettingsFolder(home.filePath(QStringLiteral(".config")));
    Shooter shooter(folder, QByteArray(argv[2]).toInt());
    for (const Shot& shot : kShots) {
        shot.take(shooter, QString::fromLatin1(shot.name));
        Shooter::settle(100);
    }
    return shooter.failed() ? 1 : 0;
}

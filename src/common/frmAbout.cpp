// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAbout.h"

#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

#include "Help.h"
#include "Icons.h"
#include "ProgramInfo.h"
#include "Twips.h"

namespace tarn {

namespace {

// Geometry in twips: left, top, width, height.
struct TwipsRect {
    int left, top, width, height;
};

constexpr int kClientWidth = 5250;
constexpr int kClientHeight = 2070;
constexpr TwipsRect kIcon{180, 120, 480, 480};
constexpr TwipsRect kNameAndVersion{960, 180, 4095, 195};
constexpr TwipsRect kCopyright{960, 420, 4095, 195};
constexpr int kLineLeft = 180;
constexpr int kLineRight = 5100;
constexpr int kGreyLineTop = 780;
// The white line (795) lies directly under the grey one, one pixel at any DPI.
constexpr TwipsRect kOK{3840, 1140, 1245, 375};
constexpr TwipsRect kSysinfo{3840, 1560, 1245, 375};

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    lblProgramNameAndVersion = new QLabel(this);
    lblProgramNameAndVersion->setObjectName(QStringLiteral("lblProgramNameAndVersion"));
    lblCopyright = new QLabel(this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));

    // The etched separator: a grey line with a white one just below it.
    Line1_1 = new QFrame(this);
    Line1_1->setObjectName(QStringLiteral("Line1_1"));
    Line1_0 = new QFrame(this);
    Line1_0->setObjectName(QStringLiteral("Line1_0"));
    for (auto [line, colour] :
         {std::pair{Line1_1, QColor(128, 128, 128)}, std::pair{Line1_0, QColor(255, 255, 255)}}) {
        line->setFrameShape(QFrame::NoFrame);
        line->setAutoFillBackground(true);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, colour);
        line->setPalette(palette);
    }

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdSysinfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysinfo->setObjectName(QStringLiteral("cmdSysinfo"));
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysinfo, &QPushButton::clicked, this, &frmAbout::cmdSysinfo_Click);

    Form_Load();
    layOut();
    cmdOK->setFocus();
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + appTitle());
    setWindowIcon(tarnIcon(TarnIcon::Program));
    lblProgramNameAndVersion->setText(appTitle() + QStringLiteral(" - Version ") +
                                      QString::number(versionMajor()) + QLatin1Char('.') +
                                      QString::number(versionMinor()) + QLatin1Char('.') +
                                      QString::number(versionRevision()));
    lblCopyright->setText(QString::fromUtf8(kLicenceShort));
    // The line has room for the licence's name only; the rest is a hover away.
    lblCopyright->setToolTip(QString::fromUtf8(kCopyrightNotice) + QLatin1Char('\n') +
                             QString::fromUtf8(kLicenceNotice));
}

void frmAbout::layOut() {
    // What the texts need, in pixels, against what the design gives them.
    const QFontMetrics metrics(font());
    const double labelNeedsW = std::max(metrics.horizontalAdvance(lblProgramNameAndVersion->text()),
                                        metrics.horizontalAdvance(lblCopyright->text()));
    const double buttonNeedsW = std::max(cmdOK->sizeHint().width(), cmdSysinfo->sizeHint().width());
    // One pixel more than needed: edges are rounded, and a width can lose one.
    const double scale = std::max({1.0, (metrics.height() + 1) / double(twipsToPixels(195, this)),
                                   (labelNeedsW + 1) / twipsToPixels(4095, this),
                                   (buttonNeedsW + 1) / twipsToPixels(1245, this),
                                   (metrics.height() + 7) / double(twipsToPixels(375, this))});
    auto x = [&](double twips) { return twipsToPixels(twips * scale, this, Qt::Horizontal); };
    auto y = [&](double twips) { return twipsToPixels(twips * scale, this, Qt::Vertical); };
    auto place = [&](QWidget* widget, const TwipsRect& r) {
        widget->setGeometry(x(r.left), y(r.top), x(r.left + r.width) - x(r.left),
                            y(r.top + r.height) - y(r.top));
    };
    place(imgIcon, kIcon);
    place(lblProgramNameAndVersion, kNameAndVersion);
    place(lblCopyright, kCopyright);
    place(cmdOK, kOK);
    place(cmdSysinfo, kSysinfo);
    // One pixel each, the white one directly under the grey one.
    const int lineTop = y(kGreyLineTop);
    const int lineWidth = x(kLineRight) - x(kLineLeft);
    Line1_1->setGeometry(x(kLineLeft), lineTop, lineWidth, 1);
    Line1_0->setGeometry(x(kLineLeft), lineTop + 1, lineWidth, 1);

    const int iconSide = std::min(imgIcon->width(), imgIcon->height());
    imgIcon->setPixmap(tarnIcon(TarnIcon::Program).pixmap(iconSide, iconSide));
    setFixedSize(x(kClientWidth), y(kClientHeight));
}

QStringList frmAbout::systemInfoPrograms() {
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("cpu-x"), QStringLiteral("lshw-gtk")};
}

bool frmAbout::StartSysInfo(qint64* plProcessId) {
    for (const QString& name : systemInfoPrograms()) {
        const QString program = QStandardPaths::findExecutable(name);
        if (program.isEmpty()) continue;
        qint64 pid = 0;
        if (QProcess::startDetached(program, {}, QString(), &pid)) {
            if (plProcessId) *plProcessId = pid;
            return true;
        }
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About Dorvale"),
                    QStringLiteral("System Information Is Unavailable At This Time"),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("msgSysInfoUnavailable"));
    box.exec();
    return false;
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::cmdSysinfo_Click() {
    StartSysInfo();
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        showHelpTopics(this);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tarn

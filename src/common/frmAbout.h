// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box: program icon, name and version, a notice line, an etched
// separator, "&OK" and "&System Info...". The editor shows it modally; OK closes
// it; F1 opens the help topics. Laid out in twips through the screen's logical
// DPI (client area 5250 x 2070 twips), fixed size, no minimize or maximize box.
//
// Object names: imgIcon, lblProgramNameAndVersion, lblCopyright, Line1_0 (the
// white line), Line1_1 (the grey line), cmdOK, cmdSysinfo.

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QFrame;

namespace tarn {

class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    // The system information programs tried, in this order, on PATH: each entry
    // is the program name; the first one found is started.
    static QStringList systemInfoPrograms();

    // Starts the first system information program found on PATH, detached.
    // When none is found or it cannot be started, shows the message box titled
    // "About Dorvale" with "System Information Is Unavailable At This Time", an
    // OK button and no icon. Returns true when a program was started, and then
    // its process ID in plProcessId when that is given.
    bool StartSysInfo(qint64* plProcessId = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private slots:
    void cmdOK_Click();
    void cmdSysinfo_Click();

  private:
    void Form_Load();
    // Places the controls at their twips positions, scaled up as a whole when the
    // desktop's font would not fit the design's 8-point sizes.
    void layOut();

    QLabel* imgIcon;
    QLabel* lblProgramNameAndVersion;
    QLabel* lblCopyright;
    QFrame* Line1_0;
    QFrame* Line1_1;
    QPushButton* cmdOK;
    QPushButton* cmdSysinfo;
};

}  // namespace tarn

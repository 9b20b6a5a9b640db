// SPDX-License-Identifier: GPL-3.0-or-later
#include "modTemplates.h"

#include <QStringList>

#include <cmath>
#include <limits>

#include "ProgramInfo.h"
#include "Settings.h"
#include "modGlobal.h"

namespace tarn::editor {
namespace {

const QString kQuote = QStringLiteral("\"");
const QString kLineEnd = QStringLiteral("\r\n");

// Every line followed by CR LF; an empty last entry therefore ends the text
// with a second line break, leaving the caret on a fresh line.
QString lines(const QStringList& psvLines) {
    QString text;
    for (const QString& line : psvLines)
        text += line + kLineEnd;
    return text;
}

QString quoted(const QString& psvText) {
    return kQuote + psvText + kQuote;
}

}  // namespace

QString bannerLine() {
    return QStringLiteral("Rem ") + QString(73, QLatin1Char('=')) + QLatin1Char(' ');
}

QString CloseWindowTemplate() {
    return lines({bannerLine(),
                  QStringLiteral("Rem Closes the window referred to by the uservar windowID"),
                  QStringLiteral("Rem Syntax: CloseWindow windowID"), bannerLine(),
                  QStringLiteral("CloseWindow winID"), QString()});
}

QString GetProcessIDTemplate() {
    return lines(
        {bannerLine(),
         QStringLiteral("Rem Gets the Process ID related to windowID and assigns to uservar"),
         QStringLiteral("Rem Syntax: uservar = GetProcessID windowID"), bannerLine(),
         QStringLiteral("procID = GetProcessID winID"), QString()});
}

QString GetWindowIDTemplate() {
    return lines(
        {bannerLine(),
         QStringLiteral(
             "Rem Assigns an WindowID to uservar if a window is found matching windowTitle "),
         QStringLiteral("Rem Syntax: uservar = GetWindowID windowTitle [,method][,caseSensitive]"
                        "[,visibleOnly]"),
         QStringLiteral("Rem    WindowTitle: Window Title to refer to"),
         QStringLiteral("Rem    Method: 0=Starts with, 1=Contains, 2=Matches, 3=Ends with"),
         QStringLiteral("Rem    CaseSensitive: True or False"),
         QStringLiteral("Rem    VisibleOnly: True or False"), bannerLine(),
         QStringLiteral("winID = GetWindowID ") + quoted(QStringLiteral("Put Window Title Here")) +
             QStringLiteral(", 0, False, True"),
         QString()});
}

QString KillProcessTemplate() {
    return lines({bannerLine(),
                  QStringLiteral("Rem Terminate the program referred to by the processID"),
                  QStringLiteral("Rem Syntax: KillProcess processID"), bannerLine(),
                  QStringLiteral("KillProcess procID"), QString()});
}

QString SendTemplate() {
    return lines({bannerLine(),
                  QStringLiteral("Rem Send keystrokes to the currently active window"),
                  QStringLiteral("Rem Syntax: Send key(s)"), bannerLine()}) +
           QStringLiteral("Send ") + kQuote;
}

QString SetFocusTemplate() {
    return lines(
        {bannerLine(), QStringLiteral("Rem Sets the current window that will receive keystrokes"),
         QStringLiteral("Rem Syntax: SetFocus app[,method][,caseSensitive][,visibleOnly]"),
         QStringLiteral("Rem    App: Title or ProcessID "),
         QStringLiteral("Rem    Method: 0=Starts with, 1=Contains, 2=Matches, 3=Ends with"),
         QStringLiteral("Rem    CaseSensitive: True or False"),
         QStringLiteral("Rem    VisibleOnly: True or False"), bannerLine(),
         QStringLiteral("SetFocus ") +
             quoted(QStringLiteral("Put Window Title or ProcessID Here")) +
             QStringLiteral(", 0, False, True"),
         QString()});
}

QString ShutDownWindowsTemplate() {
    // The statement is written "ShutdownWindows"; keywords are read in any case.
    return lines({bannerLine(),
                  QStringLiteral("Rem Logoff, restart, shutdown or power off windows"),
                  QStringLiteral("Rem Syntax: ShutDownWindows [options][,force]"),
                  QStringLiteral("Rem    Options: 1=Log off, 2=Reboot, 3=Shutdown, 4=Power off"),
                  QStringLiteral("Rem    Force: True or False"), bannerLine(),
                  QStringLiteral("ShutdownWindows 1, False"), QString()});
}

QString TimeOutTemplate() {
    return lines(
        {bannerLine(),
         QStringLiteral(
             "Rem Number of seconds to retry before considering a SetFocus or GetWindowID"),
         QStringLiteral("Rem command as failed (default=30)"),
         QStringLiteral("Rem Syntax: TimeOut seconds"), bannerLine(), QStringLiteral("TimeOut 30"),
         QString()});
}

QString WaitTemplate(std::int16_t piRunWait) {
    return lines({bannerLine(), QStringLiteral("Rem Wait the specified number of seconds"),
                  QStringLiteral("Rem Syntax: Wait seconds"), bannerLine(),
                  QStringLiteral("Wait ") + QString::number(piRunWait), QString()});
}

QString RemarkTemplate() {
    return QStringLiteral("Rem ");
}

QString runVariableName(const QString& psvPath) {
    return QString::fromStdString(BaseName(psvPath.toStdString())).toLower() + QStringLiteral("ID");
}

QString RunTemplate(const QString& psvPath, std::int16_t piRunWait) {
    const QString variable = runVariableName(psvPath);
    return lines(
        {bannerLine(),
         QStringLiteral(
             "Rem Run *.EXE, COM, or *.BAT file and optionally return a ProcessID for the"),
         QStringLiteral("Rem running program"),
         QStringLiteral("Rem Syntax: uservar = Run programName"), QStringLiteral("Rem "),
         QStringLiteral("Rem Run program, give time to load & set focus to program"), bannerLine(),
         variable + QStringLiteral(" = Run ") + quoted(psvPath),
         QStringLiteral("Wait ") + QString::number(piRunWait),
         QStringLiteral("SetFocus ") + variable, QString()});
}

QString RunExecuteTemplate(const QString& psvPath, std::int16_t piRunWait) {
    return lines(
        {bannerLine(), QStringLiteral("Rem Open / Print Program associated with selected file"),
         QStringLiteral("Rem Syntax: RunExecute [operation],fileName[,parameters][,startDir]"
                        "[,showCmd]"),
         QStringLiteral("Rem     Operation: ") + quoted(QStringLiteral("Open")) +
             QStringLiteral(" or ") + quoted(QStringLiteral("Print")),
         QStringLiteral("Rem     ShowCmd: 0=Hidden w/o focus, 1=Restore w/ focus, 2=Min w/ focus, "
                        "3=Max w/ focus, "),
         QStringLiteral("Rem     4=Restore w/o focus, 5=Restore w/ focus, 6/Min w/o focus."),
         QStringLiteral("Rem "),
         QStringLiteral("Rem Run program, give time to load & set focus to program"), bannerLine(),
         QStringLiteral("RunExecute ") + quoted(QStringLiteral("open")) + QStringLiteral(", ") +
             quoted(psvPath) + QStringLiteral(" , , ,1"),
         QStringLiteral("Wait ") + QString::number(piRunWait), QString()});
}

double numericValue(const QString& psvText) {
    // The characters that count, blanks dropped, then the longest prefix that
    // reads as a number.
    QString compact;
    for (const QChar c : psvText) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            compact += c;
    }
    qsizetype i = 0;
    const qsizetype n = compact.size();
    auto isDigit = [&](qsizetype at) {
        return at < n && compact[at] >= QLatin1Char('0') && compact[at] <= QLatin1Char('9');
    };
    if (i < n && (compact[i] == QLatin1Char('+') || compact[i] == QLatin1Char('-'))) ++i;
    const qsizetype mantissaStart = i;
    while (isDigit(i))
        ++i;
    if (i < n && compact[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i))
            ++i;
    }
    // Only a sign, or a sign and a point, is no number.
    bool anyDigit = false;
    for (qsizetype k = mantissaStart; k < i; ++k)
        anyDigit = anyDigit || compact[k] != QLatin1Char('.');
    if (!anyDigit) return 0.0;
    qsizetype end = i;
    if (i < n && (compact[i] == QLatin1Char('e') || compact[i] == QLatin1Char('E'))) {
        qsizetype e = i + 1;
        if (e < n && (compact[e] == QLatin1Char('+') || compact[e] == QLatin1Char('-'))) ++e;
        if (isDigit(e)) {
            while (isDigit(e))
                ++e;
            end = e;
        }
    }
    bool ok = false;
    const double value = compact.left(end).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

std::optional<std::int16_t> runWaitFromValue(double pfValue) {
    if (!std::isfinite(pfValue)) return std::nullopt;
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(pfValue);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::int16_t readRunWait(std::int16_t piDefault) {
    return readInteger(appTitle(), QString::fromLatin1(kSectionSettings),
                       QString::fromLatin1(kKeyEditorDefaultRunWait), piDefault);
}

std::int16_t applyRunWaitAnswer(const QString& psvAnswer, std::int16_t piCurrent) {
    if (psvAnswer.isEmpty()) return piCurrent;
    const double value = numericValue(psvAnswer);
    const std::optional<std::int16_t> wait = runWaitFromValue(value);
    if (!wait) return piCurrent;
    SaveSetting(appTitle(), QString::fromLatin1(kSectionSettings),
                QString::fromLatin1(kKeyEditorDefaultRunWait), numberText(value));
    return *wait;
}

}  // namespace tarn::editor

// SPDX-License-Identifier: GPL-3.0-or-later
// Typing in the editor window on a 100,000-line macro: one key press, from the
// event to the repainted window (offscreen), with the language aids (colours,
// gutter) on and off. The gutter's check of a whole new text (which it does as
// far as the text is scrolled into view) is measured on its own.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "MacroGutter.h"
#include "Settings.h"
#include "frmMacroEditor.h"

namespace {

QString longMacro() {
    QString text;
    for (int i = 0; i < 100000; ++i) {
        switch (i % 5) {
            case 0:
                text += QStringLiteral("Rem step %1\n").arg(i);
                break;
            case 1:
                text += QStringLiteral("count = %1\n").arg(i);
                break;
            case 2:
                text += QStringLiteral("SetFocus \"Untitled, Editor\",1\n");
                break;
            case 3:
                text += QStringLiteral("Send ^a{DEL}Hello, world~\n");
                break;
            default:
                text += QStringLiteral("Wait 2\n");
                break;
        }
    }
    return text;
}

// state.range(0): 1 with the language aids, 0 without.
void BM_EditorKeyPress(benchmark::State& state) {
    tarn::editor::frmMacroEditor form;
    form.Load();
    QPlainTextEdit* edit = form.textArea();
    if (state.range(0) == 0) form.ViewLogMode();  // the viewer has no aids
    edit->setReadOnly(false);
    edit->setPlainText(longMacro());
    form.show();
    edit->setFocus();
    QTextCursor cursor(edit->document()->findBlockByNumber(50000));
    edit->setTextCursor(cursor);
    QApplication::processEvents();
    for (auto _ : state) {
        QTest::keyClick(edit, Qt::Key_A);
        edit->viewport()->repaint();
        QApplication::processEvents();
    }
    // The keys went into the text, not somewhere else.
    const QString line = edit->document()->findBlockByNumber(50000).text();
    if (!line.startsWith(QString(static_cast<int>(state.iterations()), QLatin1Char('a')))) {
        state.SkipWithError("the key presses did not reach the text");
    }
}
BENCHMARK(BM_EditorKeyPress)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_GutterCheck(benchmark::State& state) {
    QPlainTextEdit edit;
    edit.setPlainText(longMacro());
    for (auto _ : state) {
        tarn::editor::MacroGutter gutter(&edit);
        gutter.refreshMarks();
    }
}
BENCHMARK(BM_GutterCheck)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    tarn::setSettingsFolder(settings.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

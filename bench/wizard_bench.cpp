// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's Find Next and recorder costs that a user waits on:
// - Find Next over a 10 MB macro text, the match at its very end, through the
//   find dialog on a real text area (reading the text, searching, selecting),
//   with and without Match Case, over ASCII and over non-ASCII text;
// - "Replace" followed by its search;
// - the search alone, and the first reading of the text area's text;
// - the recorder's time from a key release to its notation in the text.
// Runs offscreen.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "EditorText.h"
#include "FindIt.h"
#include "frmFind.h"
#include "frmMacroEditor.h"

namespace {

using namespace tarn::editor;

constexpr qsizetype kTextSize = 10 * 1000 * 1000;

// About 10 MB of macro lines, the line to find last.
QString bigText(bool pbNonAscii) {
    const QString line =
        pbNonAscii ? QStringLiteral("Send \"Grüße aus Köln, Straße {ENTER}\" Rem ЖУК σοφια\n")
                   : QStringLiteral("Send \"Hello, world{ENTER}\"   Rem a macro line\n");
    QString text;
    text.reserve(kTextSize + 100);
    while (text.size() < kTextSize)
        text += line;
    text += QStringLiteral("SetFocus \"The Needle Window\"\n");
    return text;
}

void FindNextInTextArea(benchmark::State& state) {
    const bool matchCase = state.range(0) != 0;
    const bool nonAscii = state.range(1) != 0;
    QWidget editor;
    auto* edit = new QPlainTextEdit(&editor);
    edit->setPlainText(bigText(nonAscii));
    frmFind find(edit, &editor);
    find.findChild<QLineEdit*>(QStringLiteral("txtFind"))
        ->setText(matchCase ? QStringLiteral("The Needle") : QStringLiteral("the NEEDLE"));
    find.findChild<QRadioButton*>(QStringLiteral("optDirection_1"))->click();
    find.findChild<QCheckBox*>(QStringLiteral("chkCase"))->setChecked(matchCase);
    for (auto _ : state) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(0);
        edit->setTextCursor(cursor);
        find.cmdFind_Click();
        if (edit->textCursor().selectionStart() < kTextSize) state.SkipWithError("no match");
    }
    state.SetBytesProcessed(state.iterations() * kTextSize * 2);
}
BENCHMARK(FindNextInTextArea)
    ->ArgNames({"matchCase", "nonAscii"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// "Replace" on the first character, then the search it runs on: an edit costs
// no new reading of the whole text.
void ReplaceThenFindNext(benchmark::State& state) {
    QWidget editor;
    auto* edit = new QPlainTextEdit(&editor);
    edit->setPlainText(bigText(true));
    frmFind find(edit, &editor);
    find.findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(QStringLiteral("the NEEDLE"));
    find.findChild<QRadioButton*>(QStringLiteral("optDirection_1"))->click();
    find.findChild<QCheckBox*>(QStringLiteral("chkReplace"))->setChecked(true);
    find.findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(QStringLiteral("S"));
    find.cmdFind_Click();  // the first search reads the text
    for (auto _ : state) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(0);
        cursor.setPosition(1, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
        find.cmdReplace_Click();
        if (edit->textCursor().selectionStart() < kTextSize) state.SkipWithError("no match");
    }
}
BENCHMARK(ReplaceThenFindNext)->Unit(benchmark::kMillisecond);

// The search alone and the text area's text alone: where the time goes.
void FindItOnly(benchmark::State& state) {
    const QString text = bigText(state.range(0) != 0);
    for (auto _ : state) {
        FindState findState;
        findState.miDirection = FindDirection::Down;
        benchmark::DoNotOptimize(FindIt(findState, text, {0, 0}, u"the NEEDLE", false));
    }
}
BENCHMARK(FindItOnly)->ArgName("nonAscii")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void ReadTextArea(benchmark::State& state) {
    QPlainTextEdit edit;
    edit.setPlainText(bigText(false));
    for (auto _ : state)
        benchmark::DoNotOptimize(exactText(edit));
}
BENCHMARK(ReadTextArea)->Unit(benchmark::kMillisecond);

// The recorder: from the release of a key in the text area of a recording
// editor to its notation inserted (key table, chord, InsertText with its undo
// copy of the whole text, the Edit menu states). The press before it is not
// timed. The text around the caret is a macro of the given size in bytes.
void RecorderKeyRelease(benchmark::State& state) {
    frmMacroEditor form;
    form.Load();
    QString text;
    const QString line = QStringLiteral("Send \"Hello, world{ENTER}\"   Rem a macro line\n");
    while (text.size() < state.range(0))
        text += line;
    form.textArea()->setPlainText(text);
    form.mnuMacroRecord_Click();
    for (auto _ : state) {
        state.PauseTiming();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(form.textArea(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        state.ResumeTiming();
        QApplication::sendEvent(form.textArea(), &release);
    }
    form.mnuMacroRecord_Click();
    if (!exactText(*form.textArea()).contains(QStringLiteral("Send \"a")))
        state.SkipWithError(qPrintable(exactText(*form.textArea()).left(40)));
}
BENCHMARK(RecorderKeyRelease)
    ->ArgName("textBytes")
    ->Arg(0)
    ->Arg(100'000)
    ->Arg(kTextSize)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

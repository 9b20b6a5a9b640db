// SPDX-License-Identifier: GPL-3.0-or-later
// Typing in the editor window (offscreen unless QT_QPA_PLATFORM says
// otherwise), through everything a real key press goes through: the window's
// key handling (undo rules, shortcuts), the text area, the changed flag, the
// Edit entries, and the repaint of the text area.
//   TypeAtEnd/<lines>   - one character typed at the end of a macro of that
//                         many lines, from the key press to the painted view.
//   EnterAtEnd/<lines>  - the same for Enter, which also takes the undo copy.
//   RecordedKeyAtEnd/<lines> - one key as the recorder writes it (InsertText,
//                         which takes the undo copy), to the painted view.
//   GutterAfterEdit/<lines> - the gutter's check after one line changed.
// The largest line count is that of a macro of kMaxMacroFileBytes.
// Counters: ms, the mean time of one key (press, release, paint) or check.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <chrono>
#include <memory>

#include "EditorText.h"
#include "MacroFileIO.h"
#include "MacroGutter.h"
#include "Settings.h"
#include "frmMacroEditor.h"

namespace {

using tarn::editor::frmMacroEditor;

// Counts the paints of the text area's view.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* poEvent) override {
        if (poEvent->type() == QEvent::Paint) ++paints;
        return false;
    }
};

std::unique_ptr<frmMacroEditor> editorWith(int piLines) {
    auto form = std::make_unique<frmMacroEditor>();
    form->Load();
    QString text;
    static const char* const lines[] = {"SetFocus \"Untitled - Notepad\"",
                                        "Send \"Hello, world{ENTER}\"", "Wait 1",
                                        "Rem a comment line of a length that macros often have"};
    for (int i = 0; i < piLines; ++i) {
        text += QLatin1String(lines[i % 4]);
        text += u'\n';
    }
    form->textArea()->setPlainText(text);
    form->resize(1000, 700);
    form->show();
    form->activateWindow();
    form->textArea()->setFocus();
    form->textArea()->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    return form;
}

void typeKeys(benchmark::State& state, Qt::Key piKey, const QString& psvText) {
    auto form = editorWith(static_cast<int>(state.range(0)));
    QPlainTextEdit* area = form->textArea();
    PaintCounter counter;
    area->viewport()->installEventFilter(&counter);
    double total = 0;
    for (auto _ : state) {
        const int before = counter.paints;
        const auto start = std::chrono::steady_clock::now();
        QKeyEvent press(QEvent::KeyPress, piKey, Qt::NoModifier, psvText);
        QApplication::sendEvent(area, &press);
        QKeyEvent release(QEvent::KeyRelease, piKey, Qt::NoModifier, psvText);
        QApplication::sendEvent(area, &release);
        // Until the view has painted the change (bounded: a second).
        for (int i = 0; i < 1000 && counter.paints == before; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
        if (counter.paints == before) state.SkipWithError("the text area did not repaint");
    }
    state.counters["ms"] = total / static_cast<double>(state.iterations());
    area->viewport()->removeEventFilter(&counter);
    form->close();
}

void TypeAtEnd(benchmark::State& state) {
    typeKeys(state, Qt::Key_X, QStringLiteral("x"));
}
void EnterAtEnd(benchmark::State& state) {
    typeKeys(state, Qt::Key_Return, QStringLiteral("\r"));
}

// Waits (bounded: a second) until the text area has painted since `before`.
bool painted(const PaintCounter& counter, int before) {
    for (int i = 0; i < 1000 && counter.paints == before; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    return counter.paints != before;
}

void RecordedKeyAtEnd(benchmark::State& state) {
    auto form = editorWith(static_cast<int>(state.range(0)));
    PaintCounter counter;
    form->textArea()->viewport()->installEventFilter(&counter);
    double total = 0;
    for (auto _ : state) {
        const int before = counter.paints;
        const auto start = std::chrono::steady_clock::now();
        form->InsertText(QStringLiteral("a"));
        if (!painted(counter, before)) state.SkipWithError("the text area did not repaint");
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    state.counters["ms"] = total / static_cast<double>(state.iterations());
    form->textArea()->viewport()->removeEventFilter(&counter);
    form->close();
}

void GutterAfterEdit(benchmark::State& state) {
    auto form = editorWith(static_cast<int>(state.range(0)));
    form->gutter()->refreshMarks();
    QTextDocument* document = form->textArea()->document();
    double total = 0;
    int round = 0;
    for (auto _ : state) {
        // One line in the middle changed, valid and invalid by turns.
        QTextCursor line(document->findBlockByNumber(document->blockCount() / 2));
        line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        line.insertText(++round % 2 ? QStringLiteral("Sned 1") : QStringLiteral("Wait 1"));
        const auto start = std::chrono::steady_clock::now();
        form->gutter()->refreshMarks();
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
    }
    state.counters["ms"] = total / static_cast<double>(state.iterations());
    form->close();
}

// Lines of about 35 bytes in the largest macro the editor opens.
const int kLargestLines = static_cast<int>(tarn::editor::kMaxMacroFileBytes / 35);

BENCHMARK(TypeAtEnd)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(EnterAtEnd)
    ->Arg(100000)
    ->Arg(kLargestLines)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);
BENCHMARK(RecordedKeyAtEnd)
    ->Arg(100000)
    ->Arg(kLargestLines)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);
BENCHMARK(GutterAfterEdit)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The editor reads and writes its geometry: never in the user's settings.
    QTemporaryDir settings;
    tarn::setSettingsFolder(settings.path());
    // The typed text is not kept: no question about it when a window closes.
    frmMacroEditor::setQuestionHook([](QWidget*, const QString&, const QString&) { return false; });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

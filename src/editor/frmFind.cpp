// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmFind.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "EditorText.h"
#include "Help.h"
#include "Twips.h"

namespace tarn::editor {
namespace {

// Geometry in twips: left, top, width, height; inside a frame relative to it.
struct TwipsRect {
    int left, top, width, height;
};

constexpr int kClientWidth = 5625;
constexpr int kClientHeight = 1920;
constexpr TwipsRect kLabel1{60, 180, 1215, 195};
constexpr TwipsRect kTxtFind{1320, 120, 2835, 285};
constexpr TwipsRect kLblReplace{60, 540, 1215, 195};
constexpr TwipsRect kTxtReplace{1320, 480, 2835, 285};
constexpr TwipsRect kFrame1{1380, 840, 1155, 975};
constexpr TwipsRect kOptDirection[3] = {
    {120, 480, 612, 195},  // Up
    {120, 720, 852, 195},  // Down
    {120, 240, 612, 195},  // All
};
constexpr TwipsRect kFrame2{2580, 840, 1575, 975};
constexpr TwipsRect kChkReplace{120, 300, 1035, 255};
constexpr TwipsRect kChkCase{120, 660, 1335, 195};
constexpr TwipsRect kCmdFind{4320, 180, 1155, 315};
constexpr TwipsRect kCmdReplace{4320, 600, 1155, 315};
constexpr TwipsRect kCmdCancel{4320, 1020, 1155, 315};

}  // namespace

frmFind::frmFind(QPlainTextEdit* poEdit, QWidget* poEditorWindow)
    : QDialog(poEditorWindow), txtEdit(poEdit), mfrmEditor(poEditorWindow) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);

    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    Label1 = new QLabel(QStringLiteral("&Find What:"), this);
    named(Label1, "Label1");
    txtFind = new QLineEdit(this);
    named(txtFind, "txtFind");
    Label1->setBuddy(txtFind);
    lblReplace = new QLabel(QStringLiteral("Replace &With:"), this);
    named(lblReplace, "lblReplace");
    txtReplace = new QLineEdit(this);
    named(txtReplace, "txtReplace");
    lblReplace->setBuddy(txtReplace);

    Frame1 = new QGroupBox(QStringLiteral("&Direction"), this);
    named(Frame1, "Frame1");
    const char* directionCaptions[3] = {"Up", "Down", "All"};
    for (int index = 0; index < 3; ++index) {
        optDirection[index] =
            new QRadioButton(QString::fromLatin1(directionCaptions[index]), Frame1);
        optDirection[index]->setObjectName(QStringLiteral("optDirection_%1").arg(index));
        connect(optDirection[index], &QRadioButton::clicked, this,
                [this, index] { optDirection_Click(index); });
    }
    Frame2 = new QGroupBox(QStringLiteral("Options"), this);
    named(Frame2, "Frame2");
    chkReplace = new QCheckBox(QStringLiteral("Re&place"), Frame2);
    named(chkReplace, "chkReplace");
    chkCase = new QCheckBox(QStringLiteral("Match &Case"), Frame2);
    named(chkCase, "chkCase");

    cmdFind = new QPushButton(QStringLiteral("Find &Next"), this);
    named(cmdFind, "cmdFind");
    cmdFind->setDefault(true);
    cmdReplace = new QPushButton(QStringLiteral("&Replace"), this);
    named(cmdReplace, "cmdReplace");
    cmdReplace->setAutoDefault(false);
    cmdcancel = new QPushButton(QStringLiteral("&Cancel"), this);
    named(cmdcancel, "cmdcancel");
    cmdcancel->setAutoDefault(false);

    // Tab order: the two texts, the directions from the top, the options, the buttons.
    QWidget* order[] = {txtFind,    txtReplace, optDirection[2], optDirection[0], optDirection[1],
                        chkReplace, chkCase,    cmdFind,         cmdReplace,      cmdcancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(txtEdit->document(), &QTextDocument::contentsChange, this,
            [this](int piPosition, int piRemoved, int piAdded) {
                editorTextChanged(piPosition, piRemoved, piAdded);
            });
    connect(txtFind, &QLineEdit::textChanged, this, [this] { txtFind_Change(); });
    connect(chkReplace, &QCheckBox::toggled, this, [this] { chkReplace_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, &frmFind::cmdFind_Click);
    connect(cmdReplace, &QPushButton::clicked, this, &frmFind::cmdReplace_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &frmFind::cmdCancel_Click);

    // Key preview: the dialog sees every key before the control with the focus.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>())
        control->installEventFilter(this);

    Form_Load();
    layOut();
}

void frmFind::Form_Load() {
    mState.miDirection = FindDirection::All;
    optDirection[2]->setChecked(true);
    chkReplace_Click();
}

void frmFind::layOut() {
    // Scaled up as a whole when the desktop's font would not fit the design.
    const QFontMetrics metrics(font());
    double scale = std::max(1.0, metrics.height() / double(twipsToPixels(195, this)));
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(cmdFind), static_cast<QAbstractButton*>(cmdReplace),
          static_cast<QAbstractButton*>(cmdcancel)})
        scale = std::max(scale, button->sizeHint().width() / double(twipsToPixels(1155, this)));
    auto x = [&](double twips) { return twipsToPixels(twips * scale, this, Qt::Horizontal); };
    auto y = [&](double twips) { return twipsToPixels(twips * scale, this, Qt::Vertical); };
    auto place = [&](QWidget* widget, const TwipsRect& r) {
        widget->setGeometry(x(r.left), y(r.top), x(r.left + r.width) - x(r.left),
                            y(r.top + r.height) - y(r.top));
    };
    place(Label1, kLabel1);
    place(txtFind, kTxtFind);
    place(lblReplace, kLblReplace);
    place(txtReplace, kTxtReplace);
    place(Frame1, kFrame1);
    for (int index = 0; index < 3; ++index)
        place(optDirection[index], kOptDirection[index]);
    place(Frame2, kFrame2);
    place(chkReplace, kChkReplace);
    place(chkCase, kChkCase);
    place(cmdFind, kCmdFind);
    place(cmdReplace, kCmdReplace);
    place(cmdcancel, kCmdCancel);
    setFixedSize(x(kClientWidth), y(kClientHeight));
}

void frmFind::txtFind_Change() {
    mState.mbFindChanged = true;
    cmdFind->setEnabled(!txtFind->text().isEmpty());
}

void frmFind::chkReplace_Click() {
    const bool replace = chkReplace->isChecked();
    lblReplace->setEnabled(replace);
    txtReplace->setEnabled(replace);
    cmdReplace->setEnabled(replace);
}

void frmFind::optDirection_Click(int piIndex) {
    mState.miDirection = static_cast<FindDirection>(piIndex);
}

void frmFind::showFindReplace() {
    show();
    raise();
    activateWindow();
    txtFind->setFocus();
    txtFind->setText(QString());
    txtReplace->setText(QString());
    optDirection[2]->setChecked(true);
    optDirection_Click(2);
    chkReplace->setChecked(false);
    chkCase->setChecked(false);
}

void frmFind::findNext() {
    if (txtFind->text().isEmpty())
        showFindReplace();
    else
        cmdFind_Click();
}

void frmFind::cmdFind_Click() {
    mfrmEditor->activateWindow();
    txtEdit->setFocus();
    FindIt();
}

void frmFind::cmdReplace_Click() {
    // Only the selection is replaced, whatever it holds, and no undo copy is
    // taken: Undo goes back past a series of replacements.
    QTextCursor cursor = txtEdit->textCursor();
    if (cursor.hasSelection()) {
        cursor.insertText(txtReplace->text());
        txtEdit->setTextCursor(cursor);
    }
    cmdFind_Click();
}

void frmFind::cmdCancel_Click() {
    hide();
}

void frmFind::FindIt() {
    QTextCursor cursor = txtEdit->textCursor();
    const Selection before{cursor.selectionStart(),
                           cursor.selectionEnd() - cursor.selectionStart()};
    const QString find = txtFind->text();
    const FindOutcome outcome =
        editor::FindIt(mState, editorText(), before, find, chkCase->isChecked());
    if (!(outcome.selection == before)) {
        cursor.setPosition(outcome.selection.start);
        cursor.setPosition(outcome.selection.start + outcome.selection.length,
                           QTextCursor::KeepAnchor);
        txtEdit->setTextCursor(cursor);
        txtEdit->ensureCursorVisible();
    }
    if (!outcome.found) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarn Macro Editor"),
                        cannotFindMessage(find), QMessageBox::Ok,
                        isVisible() ? static_cast<QWidget*>(this) : mfrmEditor);
        box.setObjectName(QStringLiteral("msgCannotFind"));
        box.exec();
    }
}

const QString& frmFind::editorText() {
    if (mbTextStale) {
        msvText = exactText(*txtEdit);
        mbTextStale = false;
    }
    return msvText;
}

void frmFind::editorTextChanged(int piPosition, int piRemoved, int piAdded) {
    if (mbTextStale) return;
    // An edit inside the text read last (a replacement, typing) is copied into
    // it; anything else (a new text, a change touching the end) is read anew at
    // the next search.
    const qsizetype documentLength = txtEdit->document()->characterCount() - 1;
    if (piPosition < 0 || piRemoved < 0 || piAdded < 0 ||
        qsizetype(piPosition) + piRemoved > msvText.size() ||
        qsizetype(piPosition) + piAdded > documentLength ||
        msvText.size() - piRemoved + piAdded != documentLength) {
        mbTextStale = true;
        msvText.clear();
        return;
    }
    QTextCursor range(txtEdit->document());
    range.setPosition(piPosition);
    range.setPosition(piPosition + piAdded, QTextCursor::KeepAnchor);
    QString added = range.selectedText();
    added.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    msvText.replace(piPosition, piRemoved, added);
}

void frmFind::closeEvent(QCloseEvent* poEvent) {
    if (!mbUnloadFind) {
        poEvent->ignore();
        hide();
        return;
    }
    QDialog::closeEvent(poEvent);
}

void frmFind::reject() {
    // Esc is Cancel: the dialog goes out of sight and keeps its state.
    cmdCancel_Click();
}

bool frmFind::eventFilter(QObject* poWatched, QEvent* poEvent) {
    if (poEvent->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(poEvent)->key() == Qt::Key_F1) {
        showHelpTopics(this);
        return true;
    }
    return QDialog::eventFilter(poWatched, poEvent);
}

}  // namespace tarn::editor

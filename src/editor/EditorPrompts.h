// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The editor's questions and reports to the user, apart from the window that
// shows them: the units that work on the macro's file ask through this, the
// window answers with its message boxes (or the hooks tests install).

#include <QString>

namespace tarn::editor {

// The title of the editor's questions and reports.
inline const QString kEditorTitle = QStringLiteral("Tarn Macro Editor");

class EditorPrompts {
  public:
    // A Yes/No question with the question icon; true for Yes. Line breaks as CR LF.
    virtual bool ask(const QString& psvTitle, const QString& psvText) = 0;
    // A report with an OK button and the exclamation icon.
    virtual void report(const QString& psvTitle, const QString& psvText) = 0;

  protected:
    ~EditorPrompts() = default;
};

}  // namespace tarn::editor

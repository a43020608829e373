// The sent-text display widget: read-only, plain text, drawing what TDisplayModel decides with
// cursor edits at the end or on the changed range only. Keys go to the main window's handlers;
// a paste request raises OnPaste instead of pasting.
#pragma once

#include "display/DisplayModel.h"

#include <QPlainTextEdit>

#include <functional>

namespace brindle {

class TCWRichEdit : public QPlainTextEdit, public IDisplayView {
public:
    explicit TCWRichEdit(QWidget* parent = nullptr);

    TDisplayModel& Model() { return Model_; }

    // Raised on a paste request; the display itself never pastes.
    std::function<void()> OnPaste;
    // Every key press; true when handled. The display never edits or moves its caret by keys.
    std::function<bool(QKeyEvent*)> OnKeyEvent;

    void ScrollLineUp();
    void ScrollLineDown();
    void ScrollPageUp();
    void ScrollPageDown();
    void ScrollToStart();
    void ScrollToEnd();

    // IDisplayView
    void AppendText(const std::string& text1252, TRgb colour) override;
    void RemoveLast(int docChars) override;
    void SetColour(int docStart, int docLength, TRgb colour) override;
    void ClearText() override;
    void ReplaceText(const std::string& text1252, TRgb colour) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    TDisplayModel Model_;
};

} // namespace brindle

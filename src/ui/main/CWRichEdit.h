// The sent-text display widget: read-only, plain text, drawing what TDisplayModel decides with
// cursor edits at the end or on the changed range only. Keys go to the main window's handlers;
// a paste request raises OnPaste instead of pasting.
//
// Edits are gathered and applied together once control is back in the event loop (or at Flush):
// the text layout lays out a whole paragraph again after every edit, so a long text loaded
// character by character would otherwise cost the square of its length.
#pragma once

#include "display/DisplayModel.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <vector>

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
    // Applies the edits gathered so far.
    void Flush();

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
    QMimeData* createMimeDataFromSelection() const override;

private:
    struct TEdit {
        enum class TKind { Append, Remove, Colour, Clear, Replace };
        TKind Kind = TKind::Append;
        QString Text;   // Append, Replace
        int Start = 0;  // Colour [document position]
        int Length = 0; // Colour, Remove [document characters]
        TRgb Colour = 0;
    };
    void Gather(TEdit edit);
    void Insert(QTextCursor& c, const QString& text, TRgb colour);
    int ToWidget(int modelPos, bool rangeEnd) const;
    QTextCursor CursorAt(int widgetPos) const;
    bool Shown(int widgetPos) const; // in the view

    void ShowSentPart(bool appended, bool markWasShown);

    static constexpr int kSoftBreakAfter = 1000; // characters of a paragraph, then at a space
    static constexpr int kHardBreakAfter = 2000; // characters of a paragraph, then anywhere
    static constexpr int kSoftBlock = 1;         // user state of a block begun by a soft break

    std::vector<TEdit> Pending_;
    std::vector<int> SoftBreaks_; // model positions a soft break precedes, ascending
    int ModelEnd_ = 0;            // characters of the model's document
    int ParagraphLength_ = 0;     // characters of the last paragraph
    int DrawnMark_ = 0;           // the sent mark as drawn by the last flush [widget position]
    QTimer Flusher_;
    TDisplayModel Model_;
};

} // namespace brindle

#include "ui/buffers/BufferForm.h"

#include "base/Text1252.h"
#include "desk/Buffers.h"
#include "desk/Desk.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <filesystem>

namespace brindle {

namespace {

QString Q1252(const std::string& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}

std::string From(const QString& text) {
    return Utf8To1252(text.toStdString());
}

TOpenRequest Request(const TBufferFileRequest& r) {
    const std::filesystem::path p(r.FileName);
    return {r.Title, p.parent_path().string() + "/", p.filename().string()};
}

} // namespace

QIcon BufferIcon(int index) {
    static const char* const theme[] = {"document-new",          "document-open",
                                        "document-save",         "mail-send",
                                        "media-playlist-repeat", "media-playlist-repeat"};
    static const char* const own[] = {":/icons/new.png",    ":/icons/open.png",
                                      ":/icons/save.png",   ":/icons/transmit.png",
                                      ":/icons/repeat.png", ":/icons/repeat-active.png"};
    const int i = std::clamp(index, 0, 5);
    // The active state is always the project's own, so that it differs from the released one.
    if (i == 5) return QIcon(own[5]);
    return QIcon::fromTheme(theme[i], QIcon(own[i]));
}

TBufferForm::TBufferForm(TDesk& app, QWidget* parent) : QWidget(parent, Qt::Window), App_(app) {
    setWindowTitle("Brindle Text Buffers");
    setObjectName("BufferForm");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(6);
    static const char* const captions[] = {"New", "Load", "Save", "Transmit", "Repeat"};
    static const char* const hints[] = {"Erase buffer", "Load buffer from a file",
                                        "Save buffer to a file", "Transmit buffer",
                                        "Repeat this buffer"};
    static const char* const names[] = {"NewButton", "OpenButton", "SaveButton", "SendButton",
                                        "RepeatButton"};
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int n = 0; n < BufferCount; ++n) {
        for (int c = 0; c < 5; ++c) {
            auto* b = new QToolButton(this);
            b->setText(captions[c]);
            b->setToolTip(hints[c]);
            b->setStatusTip(hints[c]);
            b->setIcon(BufferIcon(c));
            b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            // Reached with Tab; a click leaves the focus in the field being worked on.
            b->setFocusPolicy(Qt::TabFocus);
            // Four rows of the same captions: the name says which buffer a button works on.
            b->setAccessibleName(QString("%1 buffer %2").arg(captions[c]).arg(n + 1));
            b->setObjectName(QString(names[c]) + QString::number(n + 1));
            b->setAutoRaise(true);
            if (c == RepeatColumn) b->setCheckable(true);
            grid->addWidget(b, n, c);
            Buttons_[static_cast<std::size_t>(n)][static_cast<std::size_t>(c)] = b;
        }
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString("BufferEdit") + QString::number(n + 1));
        edit->setAccessibleName(QString("Buffer %1").arg(n + 1));
        edit->setMaxLength(static_cast<int>(BufferMaxLength));
        edit->setFont(fixed);
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(61, 'M')) + 12);
        edit->installEventFilter(this);
        grid->addWidget(edit, n, 5);
        Edits_[static_cast<std::size_t>(n)] = edit;

        auto& logic = App_.Buffers();
        auto& row = Buttons_[static_cast<std::size_t>(n)];
        connect(row[NewColumn], &QToolButton::clicked, this, [this, n, &logic] {
            logic.New(n);
            BufferEdit(n).setFocus();
        });
        connect(row[OpenColumn], &QToolButton::clicked, this, [this, n] { Load(n); });
        connect(row[SaveColumn], &QToolButton::clicked, this, [this, n] { Save(n); });
        connect(row[SendColumn], &QToolButton::clicked, this, [n, &logic] { logic.Transmit(n); });
        connect(row[RepeatColumn], &QToolButton::clicked, this,
                [n, &logic](bool down) { logic.RepeatClick(n, down); });
        connect(edit, &QLineEdit::textEdited, this, [this, n, edit, &logic](const QString& t) {
            // Typed letters appear in capitals while all caps is on, where the caret is, by the
            // program's one case rule.
            const std::string typed = From(t);
            const std::string shown = App_.Settings().Main.AllCaps ? Upper1252(typed) : typed;
            if (shown != typed) {
                const int caret = edit->cursorPosition();
                edit->setText(Q1252(shown));
                edit->setCursorPosition(caret);
            }
            logic.Edited(n, shown);
        });
    }
    BuffersChanged_ = App_.Buffers().OnChanged.Connect([this] { Redraw(); });
    // Exactly as large as its rows, also when the fonts change.
    grid->setSizeConstraint(QLayout::SetFixedSize);
    Redraw();
}

void TBufferForm::Redraw() {
    if (Drawing_) return;
    Drawing_ = true;
    const auto& v = App_.Buffers().View();
    const bool transmit = App_.OutputChoice().TransmitButtonsEnabled;
    for (int n = 0; n < BufferCount; ++n) {
        const auto& b = v.Buffers[static_cast<std::size_t>(n)];
        QLineEdit& edit = BufferEdit(n);
        const QString text = Q1252(b.Text);
        if (edit.text() != text) {
            const int caret = edit.cursorPosition();
            edit.setText(text);
            edit.setCursorPosition(std::min(caret, static_cast<int>(text.size())));
        }
        QToolButton& repeat = Button(n, RepeatColumn);
        repeat.setChecked(v.Repeating == n);
        repeat.setIcon(BufferIcon(v.Repeating == n ? 5 : 4));
        Button(n, SendColumn).setEnabled(transmit);
    }
    Drawing_ = false;
}

void TBufferForm::ShowBuffers() {
    show();
    raise();
    activateWindow();
    BufferEdit(0).setFocus();
    BufferEdit(0).end(false);
}

void TBufferForm::Load(int n) {
    auto& logic = App_.Buffers();
    const std::string path = ChooseOpenFile ? ChooseOpenFile(Request(logic.LoadRequest(n))) : "";
    if (path.empty()) return;
    if (logic.Load(n, path)) BufferEdit(n).setFocus();
}

void TBufferForm::Save(int n) {
    auto& logic = App_.Buffers();
    const std::string path = ChooseSaveFile ? ChooseSaveFile(Request(logic.SaveRequest(n))) : "";
    if (!path.empty()) logic.Save(n, path);
}

int TBufferForm::FieldIndex(QObject* watched) const {
    for (int n = 0; n < BufferCount; ++n)
        if (Edits_[static_cast<std::size_t>(n)] == watched) return n;
    return -1;
}

bool TBufferForm::WindowKey(QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_F4: hide(); return true;
    case Qt::Key_F2:
        if (OnToggleParameters) OnToggleParameters();
        return true;
    case Qt::Key_Escape: App_.Buffers().ReleaseRepeatButtons(); return true;
    default: return false;
    }
}

bool TBufferForm::eventFilter(QObject* watched, QEvent* event) {
    const int n = FieldIndex(watched);
    if (n >= 0 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter || key->key() == Qt::Key_Escape) App_.Buffers().Normalize(n);
        if (enter) return true;
        return WindowKey(key);
    }
    if (n >= 0 && event->type() == QEvent::FocusOut) App_.Buffers().Normalize(n);
    return QWidget::eventFilter(watched, event);
}

void TBufferForm::keyPressEvent(QKeyEvent* event) {
    if (!WindowKey(event)) QWidget::keyPressEvent(event);
}

} // namespace brindle

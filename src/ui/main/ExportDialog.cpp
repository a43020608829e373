#include "ui/main/ExportDialog.h"

#include "desk/Desk.h"
#include "export/AudioFormat.h"
#include "export/Speech.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace brindle {

namespace {

constexpr TAudioFormat kFormats[] = {TAudioFormat::Mp3, TAudioFormat::Opus, TAudioFormat::Vorbis,
                                     TAudioFormat::Flac, TAudioFormat::Wav};

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

} // namespace

TExportDialog::TExportDialog(TDesk& desk, QWidget* parent) : QDialog(parent), Desk_(desk) {
    setWindowTitle("Export Practice");
    setObjectName("ExportDialog");
    auto* outer = new QVBoxLayout(this);
    Form_ = new QWidget(this);
    auto* form = new QFormLayout(Form_);
    form->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Form_);

    auto* which = new QWidget(Form_);
    auto* whichRow = new QVBoxLayout(which);
    whichRow->setContentsMargins(0, 0, 0, 0);
    Session_ = new QRadioButton("The p&ractice that F3 starts, with its settings", which);
    Lesson_ = new QRadioButton("The &Koch lesson (Shift+F11)", which);
    whichRow->addWidget(Session_);
    whichRow->addWidget(Lesson_);
    auto* group = new QButtonGroup(this);
    group->addButton(Session_);
    group->addButton(Lesson_);
    Session_->setChecked(true);
    form->addRow("Practice:", which);

    auto* file = new QWidget(Form_);
    auto* fileRow = new QHBoxLayout(file);
    fileRow->setContentsMargins(0, 0, 0, 0);
    Path_ = new QLineEdit(file);
    Path_->setMinimumWidth(Path_->fontMetrics().averageCharWidth() * 40);
    auto* browse = new QPushButton("&Browse...", file);
    fileRow->addWidget(Path_, 1);
    fileRow->addWidget(browse);
    form->addRow("&File:", file);
    qobject_cast<QLabel*>(form->labelForField(file))->setBuddy(Path_);

    Format_ = new QComboBox(Form_);
    for (TAudioFormat f : kFormats)
        Format_->addItem(Q(FormatTitle(f)) + " (" + Q(FormatExtension(f)) + ")");
    form->addRow("F&ormat:", Format_);

    auto* chapters = new QWidget(Form_);
    auto* chapterRow = new QHBoxLayout(chapters);
    chapterRow->setContentsMargins(0, 0, 0, 0);
    ItemsPerChapter_ = new QSpinBox(chapters);
    ItemsPerChapter_->setRange(0, 10000);
    ItemsPerChapter_->setSpecialValueText("one chapter");
    ItemsPerChapter_->setSuffix(" items each");
    Split_ = new QCheckBox("One &numbered file per chapter", chapters);
    chapterRow->addWidget(ItemsPerChapter_);
    chapterRow->addWidget(Split_);
    chapterRow->addStretch(1);
    form->addRow("&Chapters:", chapters);
    qobject_cast<QLabel*>(form->labelForField(chapters))->setBuddy(ItemsPerChapter_);

    Speak_ = new QComboBox(Form_);
    Speak_->addItems({"Off", "After each item", "Before each item", "Before and after"});
    form->addRow("&Spoken answers:", Speak_);
    Gap_ = new QSpinBox(Form_);
    Gap_->setRange(0, 10000);
    Gap_->setSingleStep(100);
    Gap_->setValue(500);
    Gap_->setSuffix(" ms");
    form->addRow("&Pause around an answer:", Gap_);
    Repeat_ = new QCheckBox("Send the item &again after its answer", Form_);
    form->addRow("", Repeat_);
    Voice_ = new QComboBox(Form_);
    const QStringList voices = Q(InstalledVoices()).split(", ", Qt::SkipEmptyParts);
    Voice_->addItems(voices);
    Voice_->setCurrentIndex(std::max(0, static_cast<int>(voices.indexOf("en"))));
    form->addRow("&Voice:", Voice_);

    Progress_ = new QProgressBar(this);
    Progress_->setRange(0, 1000);
    Progress_->setAccessibleName("Export progress");
    Progress_->hide();
    outer->addWidget(Progress_);
    Buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons_->button(QDialogButtonBox::Ok)->setText("&Export");
    outer->addWidget(Buttons_);

    Timer_ = new QTimer(this);
    Timer_->setInterval(100);
    connect(Timer_, &QTimer::timeout, this, [this] { Poll(); });
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(Format_, &QComboBox::currentIndexChanged, this, [this] { FormatChosen(); });
    connect(Path_, &QLineEdit::textEdited, this, [this] { PathEdited(); });
    connect(ItemsPerChapter_, &QSpinBox::valueChanged, this, [this] { UpdateControls(); });
    connect(Speak_, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
    connect(Path_, &QLineEdit::textChanged, this, [this] { UpdateControls(); });
    connect(Buttons_, &QDialogButtonBox::accepted, this, [this] { StartExport(); });
    connect(Buttons_, &QDialogButtonBox::rejected, this, [this] { reject(); });
    Path_->setText(QDir::home().filePath("brindle-practice.mp3"));
    UpdateControls();
}

TExportDialog::~TExportDialog() = default;

void TExportDialog::Open(bool lesson) {
    (lesson ? Lesson_ : Session_)->setChecked(true);
    show();
    raise();
    activateWindow();
}

bool TExportDialog::Exporting() const {
    return Run_.Running();
}

void TExportDialog::Browse() {
    if (!ChooseFile) return;
    const QFileInfo info(Path_->text());
    const std::string chosen =
        ChooseFile(TOpenRequest{"Export Practice to File", info.absolutePath().toStdString(),
                                info.fileName().toStdString()});
    if (chosen.empty()) return;
    Path_->setText(QString::fromStdString(chosen));
    PathEdited();
}

// The format follows the file's extension, and the extension the format.
void TExportDialog::PathEdited() {
    if (const auto f = FormatFromPath(Path_->text().toStdString())) {
        const auto at = std::find(std::begin(kFormats), std::end(kFormats), *f);
        const QSignalBlocker block(Format_);
        Format_->setCurrentIndex(static_cast<int>(at - std::begin(kFormats)));
    }
}

void TExportDialog::FormatChosen() {
    const TAudioFormat f = kFormats[std::max(0, Format_->currentIndex())];
    QString path = Path_->text();
    const QFileInfo info(path);
    if (FormatFromPath(path.toStdString())) path.chop(info.suffix().size() + 1);
    Path_->setText(path + Q(FormatExtension(f)));
}

void TExportDialog::UpdateControls() {
    const bool speak = Speak_->currentIndex() > 0;
    Split_->setEnabled(ItemsPerChapter_->value() > 0);
    Gap_->setEnabled(speak);
    Repeat_->setEnabled(Speak_->currentIndex() == 1);
    Voice_->setEnabled(speak);
    Buttons_->button(QDialogButtonBox::Ok)
        ->setEnabled(!Path_->text().trimmed().isEmpty() && !Run_.Running());
}

TExportChoices TExportDialog::Choices() const {
    TExportChoices c;
    c.Path = Path_->text().trimmed().toStdString();
    c.Format = kFormats[std::max(0, Format_->currentIndex())];
    c.ItemsPerChapter = ItemsPerChapter_->value();
    c.Split = Split_->isEnabled() && Split_->isChecked();
    c.Speak = static_cast<TSpeakWhen>(Speak_->currentIndex());
    c.SpeakGapMs = Gap_->value();
    c.RepeatMorse = Repeat_->isEnabled() && Repeat_->isChecked();
    c.Voice = Voice_->currentText().toStdString();
    return c;
}

void TExportDialog::StartExport() {
    if (Run_.Running()) return;
    TComposedPractice practice;
    std::string error;
    if (!Desk_.ComposeExport(Lesson_->isChecked(), practice, error)) {
        QMessageBox::warning(this, "Export Practice", QString::fromStdString(error));
        return;
    }
    Run_.Start(ExportRequestFor(Choices(), practice));
    Form_->setEnabled(false);
    Progress_->setValue(0);
    Progress_->show();
    UpdateControls();
    Timer_->start();
}

void TExportDialog::Poll() {
    Progress_->setValue(static_cast<int>(Run_.Done() * 1000));
    if (auto result = Run_.TakeResult()) Finished(*result);
}

void TExportDialog::Finished(const TExportResult& result) {
    Timer_->stop();
    Progress_->hide();
    Form_->setEnabled(true);
    UpdateControls();
    if (result.Cancelled) {
        if (OnStatus) OnStatus("Export cancelled: nothing was written.");
        return;
    }
    if (!result.Ok) {
        QMessageBox::warning(this, "Export Practice",
                             "The practice could not be exported to " + Path_->text() + ": " +
                                 QString::fromStdString(result.Error));
        return;
    }
    const int seconds = static_cast<int>(result.Frames / 8000);
    const QString length = QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    if (OnStatus)
        OnStatus(result.Files.size() == 1
                     ? "Exported " + length + " of practice to " + Path_->text() + "."
                     : QString("Exported %1 files, %2 of practice, to %3.")
                           .arg(result.Files.size())
                           .arg(length)
                           .arg(QFileInfo(Path_->text()).absolutePath()));
    accept();
}

void TExportDialog::reject() {
    if (Run_.Running()) { // Cancel stops the export; a second Cancel closes the dialog
        Run_.Cancel();
        return;
    }
    QDialog::reject();
}

} // namespace brindle

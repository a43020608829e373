// File, Export Practice: the practice F3 would start rendered to a file with a progress bar,
// and the export's cancel, which leaves no file.
#include "ui/main/ExportDialog.h"
#include "export/AudioFormat.h"
#include "support/EventLoop.h"
#include "support/WindowFixture.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <sndfile.h>

#include <filesystem>

using namespace brindle;
using brindle::test::RunUntil;
namespace fs = std::filesystem;

namespace {

class ExportWindow : public test::TWindowTest {
protected:
    TExportDialog* OpenDialog() {
        MenuItem("&Export Practice...")->trigger();
        auto* dialog = dynamic_cast<TExportDialog*>(Form->findChild<QDialog*>("ExportDialog"));
        EXPECT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }
    static QPushButton* Button(TExportDialog* d, QDialogButtonBox::StandardButton which) {
        return d->findChild<QDialogButtonBox*>()->button(which);
    }
    std::string Status() const { return Form->statusBar()->currentMessage().toStdString(); }
    test::TTempDir Out{"brindle-export-window"};
};

} // namespace

TEST_F(ExportWindow, ThePracticeIsExportedWithAProgressBarAndTheFormatFollowsTheName) {
    TExportDialog* d = OpenDialog();
    auto* path = d->findChild<QLineEdit*>();
    auto* format = d->findChild<QComboBox*>();
    // Browse takes the chosen name; its extension chooses the format, and the format the name.
    NextFile = (Out.Path / "lesson.ogg").string();
    QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton); // Browse...
    EXPECT_EQ(path->text().toStdString(), NextFile);
    EXPECT_EQ(format->currentText(), "Ogg Vorbis (.ogg)");
    format->setCurrentIndex(0); // MP3
    EXPECT_EQ(path->text().toStdString(), (Out.Path / "lesson.mp3").string());

    QTest::mouseClick(Button(d, QDialogButtonBox::Ok), Qt::LeftButton);
    // The bar shows until the export has ended; the window is not held meanwhile.
    EXPECT_TRUE(d->findChild<QProgressBar*>()->isVisible());
    EXPECT_FALSE(Button(d, QDialogButtonBox::Ok)->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return !d->isVisible(); }, 60000));
    EXPECT_EQ(Status().rfind("Exported ", 0), 0u) << Status();
    SF_INFO info{};
    SNDFILE* f = sf_open((Out.Path / "lesson.mp3").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_GT(info.frames, 8000 * 10); // the practice of the default settings is minutes long
    sf_close(f);
}

TEST_F(ExportWindow, CancelStopsTheExportAndLeavesNoFile) {
    TExportDialog* d = OpenDialog();
    d->findChild<QLineEdit*>()->setText(QString::fromStdString((Out.Path / "long.opus").string()));
    const auto boxes = d->findChildren<QComboBox*>();
    boxes[1]->setCurrentIndex(1); // spoken answers after each item
    QTest::mouseClick(Button(d, QDialogButtonBox::Ok), Qt::LeftButton);
    ASSERT_TRUE(d->Exporting());
    QTest::mouseClick(Button(d, QDialogButtonBox::Cancel), Qt::LeftButton);
    ASSERT_TRUE(
        RunUntil([&] { return !d->Exporting() && Status().rfind("Export", 0) == 0; }, 60000));
    EXPECT_EQ(Status(), "Export cancelled: nothing was written.");
    EXPECT_TRUE(d->isVisible()); // a second Cancel closes it
    EXPECT_TRUE(fs::is_empty(Out.Path));
    QTest::mouseClick(Button(d, QDialogButtonBox::Cancel), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
}

// The "Export Practice" dialog: which practice (the session F3 starts, or the Koch lesson), the
// file and its format, the chapters and the spoken answers; then the export's progress bar and
// its cancel. The practice is composed by the desk and rendered by a TExportRun on its own thread;
// the dialog only asks and shows.
#pragma once

#include "desk/DeskTypes.h"
#include "desk/ExportRun.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace brindle {

class TDesk;

class TExportDialog : public QDialog {
public:
    TExportDialog(TDesk& desk, QWidget* parent);
    ~TExportDialog() override;

    // Picks the file of "Browse..."; empty: kept as it is.
    std::function<std::string(const TOpenRequest&)> ChooseFile;
    // A line for the status bar when an export has ended.
    std::function<void(const QString&)> OnStatus;

    // Opens the dialog with the Koch lesson (true) or the session chosen.
    void Open(bool lesson);
    bool Exporting() const;

protected:
    void reject() override;

private:
    void Browse();
    void FormatChosen();
    void PathEdited();
    void UpdateControls();
    void StartExport();
    void Poll();
    void Finished(const TExportResult& result);
    TExportChoices Choices() const;

    TDesk& Desk_;
    TExportRun Run_;
    QRadioButton* Session_ = nullptr;
    QRadioButton* Lesson_ = nullptr;
    QLineEdit* Path_ = nullptr;
    QComboBox* Format_ = nullptr;
    QSpinBox* ItemsPerChapter_ = nullptr;
    QCheckBox* Split_ = nullptr;
    QComboBox* Speak_ = nullptr;
    QSpinBox* Gap_ = nullptr;
    QCheckBox* Repeat_ = nullptr;
    QComboBox* Voice_ = nullptr;
    QProgressBar* Progress_ = nullptr;
    QDialogButtonBox* Buttons_ = nullptr;
    QTimer* Timer_ = nullptr;
    QWidget* Form_ = nullptr;
};

} // namespace brindle

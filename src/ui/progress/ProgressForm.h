// "Brindle Progress": the learner's progress drawn from the practice history with Qt Charts,
// accuracy and speed over time, accuracy per character, confusions and reaction times, each chart
// with a table of its figures beside it. A thin form over TProgress: it only draws its view.
#pragma once

#include "desk/Progress.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableView;

namespace brindle {

class TTextTableModel;

// The window's tabs, in their order.
enum class TProgressTab { Accuracy, Chars, Confusions, Slowest };
inline constexpr int ProgressTabCount = 4;

class TProgressForm : public QWidget {
public:
    // Reads the history at once; the window is shown by its owner.
    TProgressForm(THistoryStore& history, QWidget* parent, bool showWpM = false);
    ~TProgressForm() override;

    // The file chosen to save to (UTF-8), empty when cancelled; empty: the desktop's dialog.
    std::function<std::string(const TOpenRequest&)> ChooseSaveFile;

    // Reads the history again and draws it (F5, the Refresh button).
    void Refresh();
    // Speeds in WpM (TSettings::Main.ShowWpM), else CpM.
    void SetShowWpM(bool showWpM);
    // Asks for the two files and writes them (the Export button).
    void ExportCsv();

    const TProgress& Logic() const { return *Logic_; }
    QTabWidget& Tabs() { return *Tabs_; }
    QComboBox& PeriodBox() { return *PeriodBox_; }
    QPushButton& RefreshButton() { return *RefreshButton_; }
    QPushButton& ExportButton() { return *ExportButton_; }
    QPushButton& CloseButton() { return *CloseButton_; }
    QLabel& MessageLabel() { return *Message_; }
    QLabel& SummaryLabel() { return *Summary_; }
    QLabel& StatusLabel() { return *Status_; }
    QLabel& NoteLabel(TProgressTab tab) { return *Tab(tab).Note; }
    QTableView& Table(TProgressTab tab) { return *Tab(tab).Table; }
    // None for the confusions, which are tables alone.
    QChartView* Chart(TProgressTab tab) { return Tab(tab).Chart; }
    // The confusions as sent × copied.
    QTableView& ConfusionMatrix() { return *Tab(TProgressTab::Confusions).Matrix; }
    // True while the charts are shown, false while the sentence stands in their place.
    bool ChartsShown() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct TTab {
        QWidget* Page = nullptr;
        QLabel* Note = nullptr;      // what the chart shows, or why there is none
        QSplitter* Body = nullptr;   // the chart and its table
        QChartView* Chart = nullptr; // none for the confusions
        QTableView* Table = nullptr; // the figures, a row each
        TTextTableModel* Model = nullptr;
        QTableView* Matrix = nullptr; // the confusions' sent × copied
        TTextTableModel* MatrixModel = nullptr;
    };
    enum class TTabKind { WideChart, Chart, Matrix };

    TTab& Tab(TProgressTab tab) { return Parts_[static_cast<std::size_t>(tab)]; }
    TTab MakeTab(const char* title, TTabKind kind); // in the order of TProgressTab
    void Redraw();
    void DrawAccuracy();
    void DrawChars();
    void DrawBars(TTab& tab, const TBarChart& chart, const char* colour);
    void DrawConfusions();
    std::string ChooseFile(const TOpenRequest& request);

    std::unique_ptr<TProgress> Logic_;
    std::array<TTab, ProgressTabCount> Parts_{};
    QLabel* Summary_ = nullptr;
    QLabel* PeriodLabel_ = nullptr;
    QComboBox* PeriodBox_ = nullptr;
    QStackedWidget* Pages_ = nullptr; // the sentence, or the tabs
    QLabel* Message_ = nullptr;
    QTabWidget* Tabs_ = nullptr;
    QLabel* Status_ = nullptr;
    QPushButton* RefreshButton_ = nullptr;
    QPushButton* ExportButton_ = nullptr;
    QPushButton* CloseButton_ = nullptr;
};

} // namespace brindle

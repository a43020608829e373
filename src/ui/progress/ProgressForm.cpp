#include "ui/progress/ProgressForm.h"

#include <QAbstractTableModel>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QColor>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

namespace brindle {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Colours told apart with the common kinds of colour blindness.
constexpr const char* AccuracyColour = "#0072b2"; // blue
constexpr const char* SpeedColour = "#d55e00";    // vermilion
constexpr const char* LessonColour = "#009e73";   // bluish green
// Bars light enough for black figures on them and beside them.
constexpr const char* AccuracyBarColour = "#56b4e9"; // sky blue
constexpr const char* SlowBarColour = "#e69f00";     // orange
constexpr const char* ConfusionTint = "#f8d58a";     // light orange, black figures on it

// A table of text that Tab enters and leaves, rows a line high.
QTableView* NewTable(QWidget* parent, const QString& name) {
    auto* table = new QTableView(parent);
    table->setAccessibleName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false); // Tab leaves the table for the next control
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    return table;
}

// Swaps the view's chart for chart and deletes the old one.
void SetChart(QChartView& view, std::unique_ptr<QChart> chart) {
    std::unique_ptr<QChart> old(view.chart());
    view.setChart(chart.release());
}

// A sentence that Tab stops at, so that a screen reader reads it; its text can be copied.
void ReadableByTab(QLabel& label) {
    label.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label.setFocusPolicy(Qt::StrongFocus);
}

std::unique_ptr<QChart> NewChart(const std::string& title) {
    auto chart = std::make_unique<QChart>();
    chart->setTitle(Q(title));
    QFont font = chart->titleFont();
    font.setBold(true);
    chart->setTitleFont(font);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QValueAxis* NewValueAxis(QChart& chart, const std::string& title, double min, double max, int ticks,
                         const char* format = "%d") {
    auto* axis = new QValueAxis(&chart);
    axis->setTitleText(Q(title));
    axis->setRange(min, max);
    axis->setLabelFormat(format);
    axis->setTickCount(ticks);
    return axis;
}

// A second axis beside the first: its own figures, the first one's grid.
QValueAxis* Beside(QValueAxis* axis, const char* colour) {
    axis->setGridLineVisible(false);
    axis->setLabelsColor(QColor(colour));
    axis->setTitleBrush(QColor(colour));
    return axis;
}

// A table beside a chart: the width of its columns, at most maxWidth; the chart takes the rest.
void FitBeside(QSplitter& body, QTableView& table, int maxWidth) {
    table.resizeColumnsToContents();
    int width = 2 * table.frameWidth() + table.verticalScrollBar()->sizeHint().width() + 4;
    for (int c = 0; c < table.model()->columnCount(); ++c)
        width += table.columnWidth(c);
    width = std::min(width, maxWidth);
    table.setFixedWidth(width);
    // The splitter shares out its width again: the table keeps its own, the rest goes first.
    body.setSizes({1 << 20, width});
}

} // namespace

// A TTextTable as Qt's item views read it. A matrix has its figures centred and its filled cells
// tinted, so that they stand out among the empty ones.
class TTextTableModel : public QAbstractTableModel {
public:
    TTextTableModel(QObject* parent, bool matrix) : QAbstractTableModel(parent), Matrix_(matrix) {}

    void Set(const TTextTable& table) {
        beginResetModel();
        Table_ = table;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(Table_.Rows.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(Table_.Columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const auto& row = Table_.Rows[static_cast<std::size_t>(index.row())];
        const auto column = static_cast<std::size_t>(index.column());
        const QString text = column < row.size() ? Q(row[column]) : QString();
        const bool figure = Matrix_ && column > 0;
        switch (role) {
        case Qt::DisplayRole: return text;
        case Qt::TextAlignmentRole:
            if (figure) return QVariant::fromValue(Qt::AlignCenter);
            return {};
        case Qt::BackgroundRole:
            if (figure && !text.isEmpty()) return QColor(ConfusionTint);
            return {};
        case Qt::ForegroundRole:
            if (figure && !text.isEmpty()) return QColor(Qt::black);
            return {};
        default: return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
            static_cast<std::size_t>(section) >= Table_.Columns.size())
            return QAbstractTableModel::headerData(section, orientation, role);
        return Q(Table_.Columns[static_cast<std::size_t>(section)]);
    }

private:
    TTextTable Table_;
    bool Matrix_ = false;
};

TProgressForm::TProgressForm(THistoryStore& history, QWidget* parent, bool showWpM)
    : QWidget(parent, Qt::Window), Logic_(std::make_unique<TProgress>(history, showWpM)) {
    setWindowTitle(TProgressCaptions::Window);
    setObjectName("ProgressForm");
    auto* layout = new QVBoxLayout(this);

    Summary_ = new QLabel(this);
    Summary_->setObjectName("SummaryLabel");
    Summary_->setWordWrap(true);
    ReadableByTab(*Summary_);
    layout->addWidget(Summary_);

    auto* periodRow = new QHBoxLayout;
    layout->addLayout(periodRow); // the window's layout owns it
    PeriodLabel_ = new QLabel(TProgressCaptions::Period, this);
    PeriodBox_ = new QComboBox(this);
    PeriodBox_->setObjectName("PeriodBox");
    PeriodLabel_->setBuddy(PeriodBox_);
    PeriodBox_->setAccessibleName(QString(TProgressCaptions::Period).remove('&'));
    for (const TProgressPeriod p : {TProgressPeriod::Last30Days, TProgressPeriod::AllTime})
        PeriodBox_->addItem(Q(TProgress::PeriodName(p)), static_cast<int>(p));
    periodRow->addWidget(PeriodLabel_);
    periodRow->addWidget(PeriodBox_);
    periodRow->addStretch(1);

    Pages_ = new QStackedWidget(this);
    Message_ = new QLabel(Pages_);
    Message_->setObjectName("MessageLabel");
    Message_->setWordWrap(true);
    Message_->setAlignment(Qt::AlignCenter);
    Message_->setMargin(24);
    QFont larger = Message_->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.25);
    Message_->setFont(larger);
    ReadableByTab(*Message_);
    Pages_->addWidget(Message_);
    Tabs_ = new QTabWidget(Pages_);
    Tabs_->setObjectName("ProgressTabs");
    Tabs_->setAccessibleName(TProgressCaptions::Tabs);
    Tabs_->tabBar()->setAccessibleName(TProgressCaptions::Tabs);
    Pages_->addWidget(Tabs_);
    layout->addWidget(Pages_, 1);

    using C = TProgressCaptions;
    Tab(TProgressTab::Accuracy) = MakeTab(C::Views[0], TTabKind::WideChart);
    Tab(TProgressTab::Chars) = MakeTab(C::Views[1], TTabKind::Chart);
    Tab(TProgressTab::Confusions) = MakeTab(C::Views[2], TTabKind::Matrix);
    Tab(TProgressTab::Slowest) = MakeTab(C::Views[3], TTabKind::Chart);

    Status_ = new QLabel(this);
    Status_->setObjectName("StatusLabel");
    Status_->setWordWrap(true);
    ReadableByTab(*Status_);
    layout->addWidget(Status_);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    RefreshButton_ = new QPushButton(TProgressCaptions::Refresh, this);
    ExportButton_ = new QPushButton(TProgressCaptions::Export, this);
    CloseButton_ = new QPushButton(TProgressCaptions::Close, this);
    RefreshButton_->setObjectName("RefreshButton");
    ExportButton_->setObjectName("ExportButton");
    CloseButton_->setObjectName("CloseButton");
    RefreshButton_->setToolTip(TProgressCaptions::RefreshHint);
    ExportButton_->setToolTip(TProgressCaptions::ExportHint);
    buttons->addStretch(1);
    buttons->addWidget(RefreshButton_);
    buttons->addWidget(ExportButton_);
    buttons->addWidget(CloseButton_);

    connect(RefreshButton_, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(ExportButton_, &QPushButton::clicked, this, [this] { ExportCsv(); });
    connect(CloseButton_, &QPushButton::clicked, this, [this] { close(); });
    connect(PeriodBox_, &QComboBox::activated, this, [this](int index) {
        Logic_->SetPeriod(static_cast<TProgressPeriod>(PeriodBox_->itemData(index).toInt()));
        DrawChars();
        DrawConfusions();
    });

    resize(1040, 700);
    Redraw();
    // The first view, or the sentence in its place, has the focus when the window opens.
    if (ChartsShown())
        Tabs_->tabBar()->setFocus();
    else
        Message_->setFocus();
}

TProgressForm::~TProgressForm() = default;

TProgressForm::TTab TProgressForm::MakeTab(const char* title, TTabKind kind) {
    const bool withChart = kind != TTabKind::Matrix;
    TTab tab;
    tab.Page = new QWidget(Tabs_);
    auto* layout = new QVBoxLayout(tab.Page);
    layout->setContentsMargins(6, 6, 6, 6);
    tab.Note = new QLabel(tab.Page);
    tab.Note->setWordWrap(true);
    layout->addWidget(tab.Note);
    // A chart over time wants the width: its table goes below it; the others beside.
    tab.Body = new QSplitter(kind == TTabKind::WideChart ? Qt::Vertical : Qt::Horizontal, tab.Page);
    tab.Body->setChildrenCollapsible(false);
    const QString name = QString(title).remove('&');
    if (withChart) {
        tab.Chart = new QChartView(tab.Body);
        tab.Chart->setRenderHint(QPainter::Antialiasing);
        // Not a control: its figures are in the table, which takes the focus.
        tab.Chart->setFocusPolicy(Qt::NoFocus);
        tab.Chart->setAccessibleName(name + TProgressCaptions::ChartName);
        tab.Chart->setMinimumSize(360, 300);
        tab.Body->addWidget(tab.Chart);
    }
    if (kind == TTabKind::Matrix) {
        tab.Matrix = NewTable(tab.Body, name + TProgressCaptions::MatrixName);
        tab.MatrixModel = new TTextTableModel(tab.Matrix, true);
        tab.Matrix->setModel(tab.MatrixModel);
        tab.Matrix->setSelectionBehavior(QAbstractItemView::SelectItems);
        tab.Body->addWidget(tab.Matrix);
    }
    tab.Table = NewTable(tab.Body, name + TProgressCaptions::TableName);
    tab.Table->horizontalHeader()->setStretchLastSection(kind == TTabKind::WideChart);
    tab.Model = new TTextTableModel(tab.Table, false);
    tab.Table->setModel(tab.Model);
    tab.Body->addWidget(tab.Table);
    // The chart or the matrix takes what the table leaves.
    tab.Body->setStretchFactor(0, 1);
    tab.Body->setStretchFactor(1, 0);
    layout->addWidget(tab.Body, 1);
    Tabs_->addTab(tab.Page, title);
    return tab;
}

bool TProgressForm::ChartsShown() const {
    return Pages_->currentWidget() == Tabs_;
}

void TProgressForm::Refresh() {
    Logic_->Refresh();
    Redraw();
}

void TProgressForm::SetShowWpM(bool showWpM) {
    Logic_->SetShowWpM(showWpM);
    DrawAccuracy();
}

void TProgressForm::Redraw() {
    const TProgressView& v = Logic_->View();
    Message_->setText(Q(v.Message));
    Summary_->setText(Q(v.Summary));
    Summary_->setVisible(v.ShowCharts);
    PeriodLabel_->setVisible(v.ShowCharts);
    PeriodBox_->setVisible(v.ShowCharts);
    PeriodBox_->setCurrentIndex(PeriodBox_->findData(static_cast<int>(Logic_->Period())));
    ExportButton_->setEnabled(v.CanExport);
    Status_->setText(Q(v.ExportStatus));
    Status_->setVisible(!v.ExportStatus.empty());
    Pages_->setCurrentWidget(v.ShowCharts ? static_cast<QWidget*>(Tabs_) : Message_);
    if (!v.ShowCharts) return;
    DrawAccuracy();
    DrawChars();
    DrawConfusions();
}

void TProgressForm::DrawAccuracy() {
    const TAccuracyChart& c = Logic_->View().Accuracy;
    TTab& tab = Tab(TProgressTab::Accuracy);
    tab.Note->setText(Q(c.Note));
    tab.Body->setVisible(!c.Points.empty());
    tab.Model->Set(c.Table);
    tab.Table->resizeColumnsToContents(); // below the chart, as wide as the window
    tab.Table->horizontalHeader()->setStretchLastSection(false);
    tab.Table->horizontalHeader()->setStretchLastSection(true);
    tab.Table->setAccessibleDescription(Q(c.Note + " " + c.Description));
    tab.Chart->setAccessibleDescription(Q(c.Description));

    auto chart = NewChart(c.Title);
    auto* time = new QDateTimeAxis(chart.get());
    time->setFormat(Q(c.TimeFormat));
    time->setRange(QDateTime::fromMSecsSinceEpoch(c.FromMs),
                   QDateTime::fromMSecsSinceEpoch(c.ToMs));
    time->setTickCount(5);
    chart->addAxis(time, Qt::AlignBottom);
    QValueAxis* accuracyAxis =
        NewValueAxis(*chart, c.AccuracyAxis, c.AccuracyMin, 100.0, c.AccuracyTicks);
    accuracyAxis->setLabelsColor(QColor(AccuracyColour));
    accuracyAxis->setTitleBrush(QColor(AccuracyColour));
    chart->addAxis(accuracyAxis, Qt::AlignLeft);
    QValueAxis* speedAxis =
        Beside(NewValueAxis(*chart, c.SpeedAxis, 0.0, c.SpeedMax, c.SpeedTicks, "%g"), SpeedColour);
    chart->addAxis(speedAxis, Qt::AlignRight);

    // A few points are joined and marked; many are marked alone (accuracy, which jumps from one
    // practice to the next) or joined alone (the speed and the lesson, which climb in steps).
    const bool many = c.Points.size() > 60;
    auto series = [&](const std::string& name, const char* colour, Qt::PenStyle style,
                      QValueAxis* axis, auto value) {
        std::unique_ptr<QXYSeries> owner;
        if (many && style == Qt::SolidLine) {
            auto dots = std::make_unique<QScatterSeries>();
            dots->setMarkerShape(QScatterSeries::MarkerShapeCircle);
            dots->setMarkerSize(5.0);
            dots->setColor(QColor(colour));
            dots->setBorderColor(QColor(colour));
            owner = std::move(dots);
        } else {
            auto line = std::make_unique<QLineSeries>();
            QPen pen{QColor(colour)};
            pen.setWidthF(2.0);
            pen.setStyle(style);
            line->setPen(pen);
            line->setPointsVisible(!many);
            line->setMarkerSize(6.0);
            owner = std::move(line);
        }
        QXYSeries* s = owner.get();
        s->setName(Q(name));
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(c.Points.size()));
        for (const TProgressPoint& p : c.Points)
            if (const auto y = value(p)) points.append(QPointF(static_cast<qreal>(p.TimeMs), *y));
        s->replace(points);
        chart->addSeries(owner.release()); // the chart's now
        s->attachAxis(time);
        s->attachAxis(axis);
    };
    series(c.AccuracySeries, AccuracyColour, Qt::SolidLine, accuracyAxis,
           [](const TProgressPoint& p) { return std::optional<double>(p.AccuracyPct); });
    series(c.SpeedSeries, SpeedColour, Qt::DashLine, speedAxis,
           [](const TProgressPoint& p) { return std::optional<double>(p.Speed); });
    if (c.HasLessons) {
        QValueAxis* lessonAxis = Beside(
            NewValueAxis(*chart, c.LessonAxis, 0.0, c.LessonMax, c.LessonTicks), LessonColour);
        chart->addAxis(lessonAxis, Qt::AlignRight);
        series(c.LessonSeries, LessonColour, Qt::DotLine, lessonAxis,
               [](const TProgressPoint& p) -> std::optional<double> {
                   if (!p.Lesson) return std::nullopt;
                   return *p.Lesson;
               });
    }
    SetChart(*tab.Chart, std::move(chart));
}

void TProgressForm::DrawBars(TTab& tab, const TBarChart& c, const char* colour) {
    tab.Note->setText(Q(c.Bars.empty() ? c.Empty : c.Title));
    tab.Body->setVisible(!c.Bars.empty());
    tab.Model->Set(c.Table);
    FitBeside(*tab.Body, *tab.Table, width() / 2);
    tab.Table->setAccessibleDescription(Q(c.Description));
    tab.Chart->setAccessibleDescription(Q(c.Description));

    auto chart = NewChart(c.Title);
    chart->legend()->setVisible(false);
    auto* set = new QBarSet(Q(c.ValueAxis), chart.get());
    set->setColor(QColor(colour));
    set->setBorderColor(QColor(colour));
    set->setLabelColor(Qt::black);
    QStringList categories;
    // The first category is drawn at the bottom: the bars go in backwards, the worst on top.
    for (auto b = c.Bars.rbegin(); b != c.Bars.rend(); ++b) {
        set->append(b->Value);
        categories.append(Q(b->Label).toHtmlEscaped()); // the axis reads HTML: "<ar>" is text
    }
    auto* bars = new QHorizontalBarSeries(chart.get());
    bars->append(set);
    bars->setBarWidth(0.7);
    bars->setLabelsVisible(true);
    bars->setLabelsFormat(Q(c.ValueLabels));
    bars->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    bars->setLabelsPrecision(4);
    chart->addSeries(bars);
    auto* names = new QBarCategoryAxis(chart.get());
    names->setTitleText(Q(c.CategoryAxis));
    names->append(categories);
    chart->addAxis(names, Qt::AlignLeft);
    bars->attachAxis(names);
    QValueAxis* values = NewValueAxis(*chart, c.ValueAxis, 0.0, c.ValueMax, c.ValueTicks);
    chart->addAxis(values, Qt::AlignBottom);
    bars->attachAxis(values);
    SetChart(*tab.Chart, std::move(chart));
}

void TProgressForm::DrawChars() {
    DrawBars(Tab(TProgressTab::Chars), Logic_->View().Chars, AccuracyBarColour);
    DrawBars(Tab(TProgressTab::Slowest), Logic_->View().Slowest, SlowBarColour);
}

void TProgressForm::DrawConfusions() {
    const TConfusionList& c = Logic_->View().Confusions;
    TTab& tab = Tab(TProgressTab::Confusions);
    tab.Note->setText(Q(c.Lines.empty() ? c.Empty : c.Title));
    tab.Body->setVisible(!c.Lines.empty());
    tab.Model->Set(c.Table);
    FitBeside(*tab.Body, *tab.Table, width() / 2);
    tab.MatrixModel->Set(c.Matrix);
    // Columns of one width, so that the matrix reads as a grid.
    tab.Matrix->resizeColumnsToContents();
    int widest = 0;
    for (int column = 1; column < tab.MatrixModel->columnCount({}); ++column)
        widest = std::max(widest, tab.Matrix->columnWidth(column));
    for (int column = 1; column < tab.MatrixModel->columnCount({}); ++column)
        tab.Matrix->setColumnWidth(column,
                                   std::max(widest, tab.Matrix->fontMetrics().height() * 2));
    QString lines;
    for (const std::string& line : c.Lines)
        lines += Q(line) + "; ";
    tab.Table->setAccessibleDescription(lines);
    tab.Matrix->setAccessibleDescription(lines);
}

void TProgressForm::ExportCsv() {
    Logic_->Export([this](const TOpenRequest& r) { return ChooseFile(r); });
    Redraw();
}

std::string TProgressForm::ChooseFile(const TOpenRequest& request) {
    if (ChooseSaveFile) return ChooseSaveFile(request);
    const QString folder = request.Folder.empty() ? QDir::homePath() : Q(request.Folder);
    QFileDialog dialog(this, Q(request.Title), folder);
    dialog.setNameFilters({"CSV files (*.csv)", "All files (*)"});
    dialog.setDefaultSuffix("csv");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.FileName.empty()) dialog.selectFile(Q(request.FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void TProgressForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        Refresh();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace brindle

// The progress window on real history files with real keys and clicks: the sentence in place of
// the charts, the charts and their tables, the period chosen from the keyboard, Tab through every
// control, the export with the files the test chooses, Refresh, Esc.
#include "ui/progress/ProgressForm.h"

#include "engine/MorseTables.h"
#include "learn/HistoryFixture.h"
#include "support/DeskFixture.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <set>

using namespace brindle;
using namespace std::chrono_literals;
using brindle::test::Values;

namespace {

class ProgressWindow : public test::THistoryTest {
protected:
    void SetUp() override { Store = Open(DbPath()); }
    void TearDown() override {
        if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"); dir && Form) {
            const QString name = QString(dir) + "/progress-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
            // The sentence alone, or each tab of the charts.
            const bool charts = Form->ChartsShown();
            for (int t = 0; t < (charts ? ProgressTabCount : 1); ++t) {
                if (charts) Form->Tabs().setCurrentIndex(t);
                QApplication::processEvents();
                Form->grab().save(name + (charts ? "-" + QString::number(t + 1) : "") + ".png");
            }
        }
        Form.reset();
    }
    // Under the screenshot target: the window as it is now.
    void Shot(const char* name) {
        if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"))
            Form->grab().save(QString(dir) + "/" + name + ".png");
    }
    void Show(bool showWpM = false) {
        Form = std::make_unique<TProgressForm>(*Store, nullptr, showWpM);
        Form->ChooseSaveFile = [this](const TOpenRequest& r) {
            Requests.push_back(r);
            if (Answers.empty()) return std::string();
            std::string next = Answers.front();
            Answers.erase(Answers.begin());
            return next;
        };
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Form->activateWindow();
        QApplication::setActiveWindow(Form.get());
        QApplication::processEvents();
    }
    void Practise(const TPracticeStart& start, const std::string& sent, const std::string& copy,
                  const TItemTiming& timing = {}) {
        const auto id = Store->StartPractice(start);
        const TCheckedItem item = Item(sent, copy);
        Store->AddItem(id, item, timing);
        Store->FinishPractice(id,
                              {false, true, item.SentChars(), item.CorrectChars, item.ExtraChars});
    }
    // A few practices of the last days and one older.
    void SomePractices() {
        Now -= 40 * 24h;
        Practise(Groups(), "bbbbb", "66bbb");
        Now += 39 * 24h;
        Practise(Course(TCourseOrder::Lcwo, 3), "kmurk", "kmurk");
        Now += 1h;
        TItemTiming t;
        t.CharMs = {500, 900, 700};
        Practise(TPracticeStart{"single", 100, 80, std::nullopt}, "abc", "abd", t);
    }
    QChart& ChartOf(TProgressTab tab) { return *Form->Chart(tab)->chart(); }
    int Rows(TProgressTab tab) { return Form->Table(tab).model()->rowCount(); }
    // A row of a tab's table as drawn, "," between the cells.
    std::string Row(TProgressTab tab, int row, int from = 0) {
        auto* m = Form->Table(tab).model();
        QStringList cells;
        for (int column = from; column < m->columnCount(); ++column)
            cells << m->data(m->index(row, column)).toString();
        return cells.join(',').toStdString();
    }
    // The values of a series of the accuracy chart as drawn, " " between them; "?" when it is not a
    // line.
    std::string Ys(int series) {
        auto* line =
            qobject_cast<QLineSeries*>(ChartOf(TProgressTab::Accuracy).series().value(series));
        if (!line) return "?";
        QStringList ys;
        for (const QPointF& p : line->points())
            ys << QString::number(p.y());
        return ys.join(' ').toStdString();
    }
    static QString NameOf(QWidget* w) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        return a ? a->text(QAccessible::Name) : QString();
    }

    std::unique_ptr<THistoryStore> Store;
    std::unique_ptr<TProgressForm> Form;
    std::vector<TOpenRequest> Requests;
    std::vector<std::string> Answers;
};

} // namespace

TEST_F(ProgressWindow, AnEmptyHistoryShowsASentenceInsteadOfCharts) {
    Show();
    EXPECT_EQ(Form->windowTitle(), "Brindle Progress");
    // The sentence alone; Refresh works, Export not.
    EXPECT_EQ(Values(Form->ChartsShown(), Form->MessageLabel().isVisible(),
                     Form->Tabs().isVisible(), Form->PeriodBox().isVisible(),
                     Form->ExportButton().isEnabled(), Form->RefreshButton().isEnabled()),
              "0 | 1 | 0 | 0 | 0 | 1");
    EXPECT_TRUE(Form->MessageLabel().text().startsWith("Nothing to show yet"));
    Shot("progress-empty");

    // A practice checked meanwhile appears at Refresh (the button, by a click).
    Practise(Groups(), "abcde", "abcde");
    QTest::mouseClick(&Form->RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(Values(Form->ChartsShown(), Form->Tabs().isVisible(),
                     Form->ExportButton().isEnabled(), Rows(TProgressTab::Accuracy)),
              "1 | 1 | 1 | 1");
}

TEST_F(ProgressWindow, ChartsOfThePeriodChosenTheirTablesTabOrderAndExport) {
    SomePractices();
    Show(true);
    ASSERT_TRUE(Form->ChartsShown());
    EXPECT_TRUE(Form->SummaryLabel().text().startsWith("3 practices from "));

    // Accuracy, speed and lesson over time: three series on their own axes.
    ASSERT_EQ(ChartOf(TProgressTab::Accuracy).series().size(), 3);
    EXPECT_EQ(Values(Ys(0), Ys(1), Ys(2)), "60 100 66.6667 | 20 20 20 | 3");
    QStringList titles;
    for (QAbstractAxis* axis : ChartOf(TProgressTab::Accuracy).axes(Qt::Vertical))
        titles << axis->titleText();
    EXPECT_EQ(titles, (QStringList{"Accuracy (%)", "Character speed (WpM)", "Course lesson"}));
    Form->SetShowWpM(false); // drawn again
    EXPECT_EQ(ChartOf(TProgressTab::Accuracy).axes(Qt::Vertical)[1]->titleText(),
              "Character speed (CpM)");
    EXPECT_EQ(Ys(1), "100 100 100");
    EXPECT_EQ(Values(Rows(TProgressTab::Accuracy), Row(TProgressTab::Accuracy, 0, 1),
                     Row(TProgressTab::Accuracy, 1, 1)),
              "3 | Single,66.7 %,100, | Course (LCWO),100.0 %,100,3");
    EXPECT_TRUE(Form->NoteLabel(TProgressTab::Accuracy).text().startsWith("Each point is one"));

    // Characters of the last 30 days, worst first: the bars from the top.
    ASSERT_EQ(ChartOf(TProgressTab::Chars).series().size(), 1);
    auto* bars = qobject_cast<QHorizontalBarSeries*>(ChartOf(TProgressTab::Chars).series()[0]);
    ASSERT_TRUE(bars);
    const int n = bars->barSets()[0]->count();
    EXPECT_EQ(Values(n, bars->barSets()[0]->at(n - 1), Rows(TProgressTab::Chars),
                     Row(TProgressTab::Chars, 0, 0).substr(0, 1)),
              "7 | 0 | 7 | c"); // k m u r a b c; c on top

    // The confusion of the last days, and the slowest characters.
    EXPECT_EQ(Values(Rows(TProgressTab::Confusions), Row(TProgressTab::Confusions, 0),
                     Rows(TProgressTab::Slowest), Row(TProgressTab::Slowest, 0)),
              "1 | c,d,1 | 3 | b,900 ms,1");

    // Each chart's figures in words for a screen reader.
    for (const TProgressTab tab :
         {TProgressTab::Accuracy, TProgressTab::Chars, TProgressTab::Slowest}) {
        EXPECT_FALSE(Form->Chart(tab)->accessibleName().isEmpty());
        EXPECT_FALSE(Form->Chart(tab)->accessibleDescription().isEmpty());
        EXPECT_FALSE(Form->Table(tab).accessibleDescription().isEmpty());
    }
    EXPECT_TRUE(Form->Table(TProgressTab::Confusions).accessibleDescription().contains("c → d"));

    // A practice checked meanwhile appears at F5.
    Now += 1h;
    Practise(Groups(), "xyz", "xyz");
    EXPECT_EQ(Rows(TProgressTab::Accuracy), 3);
    QTest::keyClick(Form.get(), Qt::Key_F5);
    EXPECT_EQ(Rows(TProgressTab::Accuracy), 4);

    // Alt+O, the label's mnemonic, reaches the period; Down picks "All time", with b → 6 forty
    // days ago.
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), &Form->PeriodBox());
    QTest::keyClick(&Form->PeriodBox(), Qt::Key_Down);
    EXPECT_EQ(Values(Form->PeriodBox().currentText().toStdString(),
                     Form->Logic().Period() == TProgressPeriod::AllTime,
                     Rows(TProgressTab::Confusions), Row(TProgressTab::Confusions, 0)),
              "All time | 1 | 2 | b,6,2");
    EXPECT_TRUE(Form->NoteLabel(TProgressTab::Chars).text().contains("all time"));
    QTest::keyClick(&Form->PeriodBox(), Qt::Key_Up);
    EXPECT_EQ(Values(Form->Logic().Period() == TProgressPeriod::Last30Days,
                     Rows(TProgressTab::Confusions)),
              "1 | 1");

    // Tab reaches every control; the names of the tables are also those of
    // Accessibility.EveryControlOfEveryWindowHasAName, which walks this window with each tab shown.
    Form->RefreshButton().setFocus();
    std::set<QWidget*> reached;
    for (int i = 0; i < 20; ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        reached.insert(w);
        EXPECT_FALSE(NameOf(w).isEmpty()) << w->metaObject()->className();
        QTest::keyClick(w, Qt::Key_Tab);
    }
    QTabBar* bar = Form->Tabs().findChild<QTabBar*>();
    for (QWidget* w : std::initializer_list<QWidget*>{
             &Form->SummaryLabel(), &Form->PeriodBox(), bar, &Form->Table(TProgressTab::Accuracy),
             &Form->RefreshButton(), &Form->ExportButton(), &Form->CloseButton()})
        EXPECT_TRUE(reached.count(w))
            << w->metaObject()->className() << " " << NameOf(w).toStdString();
    // The tab bar's arrows move between the views; the table of each is reached in turn.
    bar->setFocus();
    for (const TProgressTab tab :
         {TProgressTab::Chars, TProgressTab::Confusions, TProgressTab::Slowest}) {
        QTest::keyClick(bar, Qt::Key_Right);
        EXPECT_EQ(Form->Tabs().currentIndex(), static_cast<int>(tab));
        QTest::keyClick(bar, Qt::Key_Tab);
        if (tab == TProgressTab::Confusions) { // the sent × copied table first
            EXPECT_EQ(QApplication::focusWidget(), &Form->ConfusionMatrix());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(QApplication::focusWidget(), &Form->Table(tab));
        bar->setFocus();
    }

    // The export writes the one file chosen.
    const std::string file = Dir.File("mine.csv");
    Answers = {file};
    QTest::mouseClick(&Form->ExportButton(), Qt::LeftButton);
    ASSERT_EQ(Requests.size(), 1u); // one question, one file
    EXPECT_EQ(Requests[0].FileName, "brindle-history.csv");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(Form->StatusLabel().isVisible());
    EXPECT_TRUE(Form->StatusLabel().text().startsWith("Exported the practice history to "));
    EXPECT_TRUE(Messages.empty());

    // Alt+E and a file that cannot be written: the history's error, and the window says so.
    Answers = {Dir.File("gone/items.csv")};
    // A button's mnemonic clicks it as an animation: after a short while.
    QTest::keyClick(Form.get(), Qt::Key_E, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Requests.size() == 2u; }));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Severity, TSeverity::Error);
    EXPECT_TRUE(Form->StatusLabel().text().startsWith("Nothing was exported"));
    EXPECT_TRUE(Form->ChartsShown());

    // Esc hides the window, and so does the Close button when its owner has shown it again.
    QTest::keyClick(&Form->Table(TProgressTab::Accuracy), Qt::Key_Escape);
    EXPECT_FALSE(Form->isVisible());
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QTest::mouseClick(&Form->CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(ProgressWindow, ProsignsAreTextOnTheAxisAndConfusionsAGrid) {
    const std::string ar(1, static_cast<char>(ProsignCode(ProsignIndex("<ar>"))));
    Practise(Groups(), ar + "bb", ar + "6b");
    Show();
    auto* names =
        qobject_cast<QBarCategoryAxis*>(ChartOf(TProgressTab::Chars).axes(Qt::Vertical)[0]);
    ASSERT_TRUE(names);
    // The axis reads its labels as HTML: the prosign's name is written as text, not as a tag.
    EXPECT_TRUE(names->categories().contains("&lt;ar&gt; (1)"))
        << names->categories().join(", ").toStdString();
    EXPECT_EQ(Row(TProgressTab::Chars, 1).substr(0, 5), "<ar>,");
    // The confusion as sent × copied: b's row has 1 under 6.
    QAbstractItemModel* grid = Form->ConfusionMatrix().model();
    ASSERT_EQ(Values(grid->rowCount(), grid->columnCount()), "1 | 2");
    EXPECT_EQ(Values(grid->headerData(1, Qt::Horizontal).toString().toStdString(),
                     grid->data(grid->index(0, 0)).toString().toStdString(),
                     grid->data(grid->index(0, 1)).toString().toStdString()),
              "6 | b | 1");
}

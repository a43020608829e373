// The progress window on real history files with real keys and clicks: the sentence in place of
// the charts, the charts and their tables, the period chosen from the keyboard, Tab through every
// control, the export with the files the test chooses, Refresh, Esc.
#include "ui/progress/ProgressForm.h"

#include "engine/MorseTables.h"
#include "learn/HistoryFixture.h"
#include "support/PracticeHistory.h"

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
#include <QValueAxis>

#include <filesystem>
#include <fstream>
#include <set>

using namespace brindle;
using namespace std::chrono_literals;

namespace {

class ProgressWindow : public test::THistoryTest {
protected:
    void SetUp() override { Store = Open(DbPath()); }
    void TearDown() override {
        if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"); dir && Form) {
            const QString name = QString(dir) + "/progress-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
            if (!Form->ChartsShown()) {
                Form->grab().save(name + ".png");
            } else {
                for (int t = 0; t < ProgressTabCount; ++t) {
                    Form->Tabs().setCurrentIndex(t);
                    QApplication::processEvents();
                    Form->grab().save(name + "-" + QString::number(t + 1) + ".png");
                }
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
    QString Cell(TProgressTab tab, int row, int column) {
        auto* m = Form->Table(tab).model();
        return m->data(m->index(row, column)).toString();
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
    EXPECT_FALSE(Form->ChartsShown());
    EXPECT_TRUE(Form->MessageLabel().isVisible());
    EXPECT_TRUE(Form->MessageLabel().text().startsWith("Nothing to show yet"));
    EXPECT_FALSE(Form->Tabs().isVisible());
    EXPECT_FALSE(Form->PeriodBox().isVisible());
    EXPECT_FALSE(Form->ExportButton().isEnabled());
    EXPECT_TRUE(Form->RefreshButton().isEnabled());
    Shot("progress-empty");

    // A practice checked meanwhile appears at Refresh (the button, by a click).
    Practise(Groups(), "abcde", "abcde");
    QTest::mouseClick(&Form->RefreshButton(), Qt::LeftButton);
    EXPECT_TRUE(Form->ChartsShown());
    EXPECT_TRUE(Form->Tabs().isVisible());
    EXPECT_TRUE(Form->ExportButton().isEnabled());
    EXPECT_EQ(Rows(TProgressTab::Accuracy), 1);
}

TEST_F(ProgressWindow, ChartsAndTheirTablesShowTheHistory) {
    SomePractices();
    Show(true);
    ASSERT_TRUE(Form->ChartsShown());
    EXPECT_TRUE(Form->SummaryLabel().text().startsWith("3 practices from "));

    // Accuracy, speed and lesson over time: three series on their own axes.
    QChart& time = ChartOf(TProgressTab::Accuracy);
    ASSERT_EQ(time.series().size(), 3);
    auto* accuracy = qobject_cast<QLineSeries*>(time.series()[0]);
    auto* speed = qobject_cast<QLineSeries*>(time.series()[1]);
    auto* lesson = qobject_cast<QLineSeries*>(time.series()[2]);
    ASSERT_TRUE(accuracy && speed && lesson);
    EXPECT_EQ(accuracy->count(), 3);
    EXPECT_DOUBLE_EQ(accuracy->at(0).y(), 60.0);
    EXPECT_DOUBLE_EQ(accuracy->at(2).y(), 200.0 / 3);
    EXPECT_DOUBLE_EQ(speed->at(0).y(), 20.0); // 100 CpM
    ASSERT_EQ(lesson->count(), 1);
    EXPECT_DOUBLE_EQ(lesson->at(0).y(), 3.0);
    QStringList titles;
    for (QAbstractAxis* axis : time.axes(Qt::Vertical))
        titles << axis->titleText();
    EXPECT_EQ(titles, (QStringList{"Accuracy (%)", "Character speed (WpM)", "Course lesson"}));
    Form->SetShowWpM(false);
    EXPECT_EQ(ChartOf(TProgressTab::Accuracy).axes(Qt::Vertical)[1]->titleText(),
              "Character speed (CpM)");
    speed = qobject_cast<QLineSeries*>(ChartOf(TProgressTab::Accuracy).series()[1]);
    ASSERT_TRUE(speed);
    EXPECT_DOUBLE_EQ(speed->at(0).y(), 100.0);
    EXPECT_EQ(Rows(TProgressTab::Accuracy), 3);
    EXPECT_EQ(Cell(TProgressTab::Accuracy, 0, 1), "Single");
    EXPECT_EQ(Cell(TProgressTab::Accuracy, 1, 4), "3");
    EXPECT_TRUE(Form->NoteLabel(TProgressTab::Accuracy).text().startsWith("Each point is one"));

    // Characters of the last 30 days, worst first: the bars from the top.
    QChart& chars = ChartOf(TProgressTab::Chars);
    ASSERT_EQ(chars.series().size(), 1);
    auto* bars = qobject_cast<QHorizontalBarSeries*>(chars.series()[0]);
    ASSERT_TRUE(bars);
    const int n = bars->barSets()[0]->count();
    EXPECT_EQ(n, 7);                                      // k m u r a b c
    EXPECT_DOUBLE_EQ(bars->barSets()[0]->at(n - 1), 0.0); // c, on top
    EXPECT_EQ(Cell(TProgressTab::Chars, 0, 0), "c");
    EXPECT_EQ(Rows(TProgressTab::Chars), n);

    // The confusion of the last days, and the slowest characters.
    EXPECT_EQ(Rows(TProgressTab::Confusions), 1);
    EXPECT_EQ(Cell(TProgressTab::Confusions, 0, 0), "c");
    EXPECT_EQ(Cell(TProgressTab::Confusions, 0, 1), "d");
    EXPECT_EQ(Rows(TProgressTab::Slowest), 3);
    EXPECT_EQ(Cell(TProgressTab::Slowest, 0, 0), "b");
    EXPECT_EQ(Cell(TProgressTab::Slowest, 0, 1), "900 ms");

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
}

TEST_F(ProgressWindow, ThePeriodIsChosenWithTheKeyboardAndEscCloses) {
    SomePractices();
    Show();
    EXPECT_EQ(Rows(TProgressTab::Confusions), 1);
    // Alt+O, the label's mnemonic, reaches the choice; Down picks "All time".
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), &Form->PeriodBox());
    QTest::keyClick(&Form->PeriodBox(), Qt::Key_Down);
    EXPECT_EQ(Form->PeriodBox().currentText(), "All time");
    EXPECT_EQ(Form->Logic().Period(), TProgressPeriod::AllTime);
    EXPECT_EQ(Rows(TProgressTab::Confusions), 2); // b → 6 forty days ago
    EXPECT_EQ(Cell(TProgressTab::Confusions, 0, 0), "b");
    EXPECT_EQ(Cell(TProgressTab::Chars, 0, 0), "c");
    EXPECT_TRUE(Form->NoteLabel(TProgressTab::Chars).text().contains("all time"));
    QTest::keyClick(&Form->PeriodBox(), Qt::Key_Up);
    EXPECT_EQ(Form->Logic().Period(), TProgressPeriod::Last30Days);
    EXPECT_EQ(Rows(TProgressTab::Confusions), 1);

    QTest::keyClick(&Form->Table(TProgressTab::Accuracy), Qt::Key_Escape);
    EXPECT_FALSE(Form->isVisible());
    Form->show(); // as its owner shows it again
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QTest::mouseClick(&Form->CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(ProgressWindow, TabReachesEveryControlAndEachHasAName) {
    SomePractices();
    Show();
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
            EXPECT_FALSE(NameOf(&Form->ConfusionMatrix()).isEmpty());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(QApplication::focusWidget(), &Form->Table(tab));
        EXPECT_FALSE(NameOf(&Form->Table(tab)).isEmpty());
        bar->setFocus();
    }
}

TEST_F(ProgressWindow, ExportWritesTheOneChosenFile) {
    SomePractices();
    Show();
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
}

// The bar charts show the worst characters only; their tables list every one.
TEST_F(ProgressWindow, AHistoryOfMonths) {
    test::TLearnerPlan plan;
    plan.Practices = 240;
    plan.Items = 4;
    ASSERT_TRUE(test::MakeLearnerHistory(*Store, Now, plan));
    Show();
    ASSERT_TRUE(Form->ChartsShown());
    EXPECT_EQ(Rows(TProgressTab::Accuracy), 240);
    auto* bars = qobject_cast<QHorizontalBarSeries*>(ChartOf(TProgressTab::Chars).series()[0]);
    ASSERT_TRUE(bars);
    EXPECT_EQ(bars->barSets()[0]->count(), static_cast<int>(TProgress::MaxBars));
    EXPECT_GT(Rows(TProgressTab::Chars), static_cast<int>(TProgress::MaxBars));
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
    EXPECT_EQ(Cell(TProgressTab::Chars, 1, 0), "<ar>");
    // The confusion as sent × copied: b's row has 1 under 6.
    QAbstractItemModel* grid = Form->ConfusionMatrix().model();
    ASSERT_EQ(grid->rowCount(), 1);
    ASSERT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(grid->headerData(1, Qt::Horizontal).toString(), "6");
    EXPECT_EQ(grid->data(grid->index(0, 0)).toString(), "b");
    EXPECT_EQ(grid->data(grid->index(0, 1)).toString(), "1");
}

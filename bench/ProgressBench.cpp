// Figures of the progress window on this machine (not pass/fail), on a learner's history of years
// made under /dev/shm (10 practices a day):
//   bench_progress [PRACTICES [RUNS]]   (10000 and 15 when not given; BRINDLE_SCREENSHOTS=DIR
//   saves each view of the window there)
// For each run: the window made, shown and its events processed until its first paint (on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise), then closed; the first run alone
// (a store just opened), then the median, lowest and highest of the others. Beside it: the logic
// alone, Refresh on the open window, and the period switched to all time and back.
#include "support/PracticeHistory.h"
#include "ui/progress/ProgressForm.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace brindle;

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct TFigures {
    double First = 0;
    double Median = 0;
    double Lowest = 0;
    double Highest = 0;
};

// Runs measure runs times: the first alone, the others' median and range.
TFigures Measure(int runs, const std::function<double()>& measure) {
    TFigures f;
    f.First = measure();
    std::vector<double> rest;
    for (int i = 1; i < runs; ++i)
        rest.push_back(measure());
    if (rest.empty()) rest.push_back(f.First);
    std::sort(rest.begin(), rest.end());
    f.Median = rest.size() % 2 == 1 ? rest[rest.size() / 2]
                                    : (rest[rest.size() / 2 - 1] + rest[rest.size() / 2]) / 2.0;
    f.Lowest = rest.front();
    f.Highest = rest.back();
    return f;
}

void Print(const char* what, const TFigures& f) {
    std::printf("%-44s first %7.1f ms   median %7.1f ms   (%.1f .. %.1f)\n", what, f.First,
                f.Median, f.Lowest, f.Highest);
}

// Notes the first paint of a widget (the visible chart's viewport).
class TPaintWatch : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) Painted = true;
        return false;
    }
    bool Painted = false;
};

} // namespace

int main(int argc, char** argv) {
    const int practices = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The history: in memory where /dev/shm exists, so that making it does not wait for a disk.
    const std::string base = std::filesystem::exists("/dev/shm")
                                 ? std::string("/dev/shm")
                                 : std::filesystem::temp_directory_path().string();
    std::string folder = base + "/brindle-progress-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    const std::string path = folder + "/history.sqlite";
    TTimePoint now = std::chrono::system_clock::now();
    THistoryOptions options;
    options.Clock = [&] { return now; };
    options.Messages = [](const TMessage& m) { std::fprintf(stderr, "%s\n", m.Text.c_str()); };
    {
        const auto start = std::chrono::steady_clock::now();
        THistoryStore store(path, options);
        test::TLearnerPlan plan;
        plan.Practices = practices;
        plan.PerDay = 10;
        if (!test::MakeLearnerHistory(store, now, plan)) return 1;
        std::printf("history: %d practices of 5 items of 5 characters, 10 a day; made in %.1f s, "
                    "%.1f MB\n",
                    practices, MsSince(start) / 1000.0,
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    }

    THistoryStore store(path, options);
    {
        TProgress probe(store);
        const auto& v = probe.View().Accuracy;
        std::printf(
            "accuracy chart: %zu points (%s); characters %zu, confusions %zu, slowest %zu\n",
            v.Points.size(), v.Note.c_str(), probe.View().Chars.Table.Rows.size(),
            probe.View().Confusions.Lines.size(), probe.View().Slowest.Bars.size());
    }

    Print("window made and shown, to its first paint", Measure(runs, [&] {
              const auto start = std::chrono::steady_clock::now();
              TProgressForm form(store, nullptr);
              TPaintWatch watch;
              form.Chart(TProgressTab::Accuracy)->viewport()->installEventFilter(&watch);
              form.show();
              while (!watch.Painted)
                  QApplication::processEvents(QEventLoop::AllEvents, 10);
              const double ms = MsSince(start);
              form.close();
              return ms;
          }));
    Print("logic alone: the history read, the view made", Measure(runs, [&] {
              const auto start = std::chrono::steady_clock::now();
              TProgress logic(store);
              return MsSince(start);
          }));

    TProgressForm form(store, nullptr);
    form.show();
    QApplication::processEvents();
    // Under BRINDLE_SCREENSHOTS: each view of years, as the learner would see it.
    if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS")) {
        for (int t = 0; t < ProgressTabCount; ++t) {
            form.Tabs().setCurrentIndex(t);
            QApplication::processEvents();
            form.grab().save(QString(dir) + "/progress-years-" + QString::number(t + 1) + ".png");
        }
        form.Tabs().setCurrentIndex(0);
    }
    Print("Refresh of the open window", Measure(runs, [&] {
              const auto start = std::chrono::steady_clock::now();
              form.Refresh();
              QApplication::processEvents();
              return MsSince(start);
          }));
    Print("period to all time (characters, confusions,", Measure(runs, [&] {
              const auto start = std::chrono::steady_clock::now();
              QTest::keyClick(&form.PeriodBox(), Qt::Key_Down);
              QApplication::processEvents();
              const double ms = MsSince(start);
              QTest::keyClick(&form.PeriodBox(), Qt::Key_Up);
              QApplication::processEvents();
              return ms;
          }));
    std::printf("%-44s\n", "  reaction times over every practice)");

    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}

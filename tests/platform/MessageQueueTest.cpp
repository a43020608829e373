// Messages from inside callbacks: queued to the event loop, shown one box at a time, in order.
#include "platform/MessageQueue.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>

using namespace brindle;
using brindle::test::RunFor;
using brindle::test::RunUntil;

namespace {

// Stands in for a modal message box: records the text and runs a nested event loop while "open".
struct TBoxes {
    std::vector<std::string> Shown;
    int Open = 0;
    int MostOpenAtOnce = 0;
    std::function<void(const std::string&)> WhileOpen;
    void Show(const std::string& text) {
        ++Open;
        MostOpenAtOnce = std::max(MostOpenAtOnce, Open);
        Shown.push_back(text);
        if (WhileOpen) WhileOpen(text);
        RunFor(20); // the box's own event loop
        --Open;
    }
};

} // namespace

// A sink called inside a callback shows nothing until the event loop runs; a message arriving
// while a box is open waits for it to close.
TEST(MessageQueue, MessagesWaitForTheEventLoopAndForTheOpenBox) {
    TBoxes boxes;
    TMessageQueue queue([&](const TMessage& m) { boxes.Show(m.Text); });
    const TMessageSink sink = queue.Sink();
    // The open box's event loop runs callbacks that report more failures.
    boxes.WhileOpen = [&](const std::string& text) {
        if (text == "first") {
            ShowMessage(sink, TSeverity::Information, "from inside the first box");
            ShowMessage(sink, TSeverity::Information, "and another");
        }
    };
    ShowMessage(sink, TSeverity::Information, "first");
    ShowMessage(sink, TSeverity::Information, "second");
    EXPECT_TRUE(boxes.Shown.empty()); // the caller is not re-entered
    EXPECT_EQ(queue.Pending(), 2u);
    ASSERT_TRUE(RunUntil([&] { return boxes.Shown.size() == 4; }, 5000));
    EXPECT_EQ(boxes.MostOpenAtOnce, 1);
    EXPECT_EQ(boxes.Shown, (std::vector<std::string>{"first", "second", "from inside the first box",
                                                     "and another"}));
}

// Messages from other threads are shown on the GUI thread; nothing is shown once the queue is
// gone, not even what it had queued.
TEST(MessageQueue, OtherThreadsMessagesAreShownOnTheGuiThreadAndNoneOnceTheQueueIsGone) {
    std::vector<bool> onGui;
    TMessageSink sink;
    {
        TMessageQueue queue([&](const TMessage&) {
            onGui.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
        });
        sink = queue.Sink();
        std::thread other([&] { ShowMessage(sink, TSeverity::Information, "from the watcher"); });
        other.join();
        ASSERT_TRUE(RunUntil([&] { return onGui.size() == 1; }, 5000));
        ShowMessage(sink, TSeverity::Information, "queued, never shown");
    }
    ShowMessage(sink, TSeverity::Information, "after the end");
    RunFor(30);
    EXPECT_EQ(onGui, std::vector<bool>{true});
}

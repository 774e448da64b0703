// Start-up work on a thread of its own: its messages reach the thread that
// collects the result, in order, and their answers reach the work.

#include "app/BackgroundLoad.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace showsaver {
namespace {

class Recorder final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        texts.emplace_back(text);
        threads.push_back(std::this_thread::get_id());
        return texts.size() == 1 ? ui::MessageAnswer::Ok : ui::MessageAnswer::Cancel;
    }
    std::vector<std::string> texts;
    std::vector<std::thread::id> threads;
};

TEST(BackgroundLoad, MessagesAreAnsweredInOrderOnTheCollectingThreadAndTheResultComesBack) {
    struct Case {
        int questions;
        bool result;
    };
    for (Case c : {Case{0, true}, Case{1, false}, Case{3, true}}) {
        std::vector<ui::MessageAnswer> heard;
        std::thread::id worker;
        BackgroundLoad load([&](ui::MessageSink& messages) {
            worker = std::this_thread::get_id();
            for (int i = 0; i < c.questions; ++i)
                heard.push_back(messages.Show("question " + std::to_string(i), ui::MessageIcon::Stop,
                                              ui::MessageButtons::OkCancel));
            return c.result;
        });
        Recorder recorder;
        EXPECT_EQ(load.Finish(recorder), c.result);
        ASSERT_EQ(recorder.texts.size(), static_cast<size_t>(c.questions));
        for (int i = 0; i < c.questions; ++i) {
            EXPECT_EQ(recorder.texts[static_cast<size_t>(i)], "question " + std::to_string(i));
            EXPECT_EQ(recorder.threads[static_cast<size_t>(i)], std::this_thread::get_id());
            EXPECT_EQ(heard[static_cast<size_t>(i)], i == 0 ? ui::MessageAnswer::Ok : ui::MessageAnswer::Cancel);
        }
        EXPECT_NE(worker, std::this_thread::get_id());
    }
}

TEST(BackgroundLoad, WorkNobodyCollectsHearsCancelAndEndsWithItsOwner) {
    ui::MessageAnswer heard = ui::MessageAnswer::Ok;
    {
        BackgroundLoad load([&](ui::MessageSink& messages) {
            heard = messages.Show("question", ui::MessageIcon::Stop, ui::MessageButtons::OkCancel);
            return true;
        });
    }
    EXPECT_EQ(heard, ui::MessageAnswer::Cancel);
}

} // namespace
} // namespace showsaver

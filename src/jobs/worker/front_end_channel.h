#pragma once
// The front end's seams (pane, boxes and questions, notices) as a job on its
// own thread uses them. Everything the job shows reaches the front end's own
// seams on the front end's thread, in the order the job made it; a question
// waits there for its answer while the job waits for it. Bursts of output
// are handed over together, and one hand-over holds the front end's thread
// for a few milliseconds at most, so a window stays responsive to a job that
// writes thousands of lines a second.

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "jobs/worker/dispatch_queue.h"
#include "runner/job_notices.h"
#include "runner/ui_seams.h"

class TFrontEndChannel {
 public:
  // The seams are the front end's (not owned, may be null); `post` runs work
  // on its thread, which is the thread that makes the channel.
  TFrontEndChannel(TPost post, TLogPaneView* pane, TPrompts* prompts, TNotices* notices);
  // What was sent and not yet handed over is dropped; a question still
  // unanswered ends in an error for the job that asked it.
  ~TFrontEndChannel();
  TFrontEndChannel(const TFrontEndChannel&) = delete;
  TFrontEndChannel& operator=(const TFrontEndChannel&) = delete;

  // The seams for a job's thread; null where the front end has none.
  TLogPaneView* Pane() { return FFrontPane ? &FPane : nullptr; }
  TPrompts* Prompts() { return FFrontPrompts ? &FPrompts : nullptr; }
  TNotices* Notices() { return FFrontNotices ? &FNotices : nullptr; }

  // Runs `work` on the front end's thread after everything sent before it.
  void Send(std::function<void()> work);
  // Runs `question` on the front end's thread after everything sent before
  // it, and returns its answer; on that thread itself it runs at once.
  template <typename T>
  T Ask(std::function<T()> question) {
    if (std::this_thread::get_id() == FFrontThread) return question();
    auto answer = std::make_shared<std::promise<T>>();
    std::future<T> future = answer->get_future();
    Send([answer, question = std::move(question)] {
      try {
        answer->set_value(question());
      } catch (...) {
        answer->set_exception(std::current_exception());
      }
    });
    return future.get();
  }

  // How long one hand-over may hold the front end's thread.
  static constexpr std::chrono::milliseconds HandOverSlice{8};

 private:
  struct TState;
  static void HandOver(const std::shared_ptr<TState>& state);

  class TPane final : public TLogPaneView {
   public:
    explicit TPane(TFrontEndChannel& channel) : FChannel(channel) {}
    void Clear() override;
    void AppendLine(const std::string& line) override;

   private:
    TFrontEndChannel& FChannel;
  };
  class TChannelPrompts final : public TPrompts {
   public:
    explicit TChannelPrompts(TFrontEndChannel& channel) : FChannel(channel) {}
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool ConfirmOkCancel(const std::string& text) override;
    void Beep() override;
    void ShowNotice(const std::string& text) override;
    std::optional<std::string> AskPassword(const std::string& text) override;

   private:
    TFrontEndChannel& FChannel;
  };
  class TChannelNotices final : public TNotices {
   public:
    explicit TChannelNotices(TFrontEndChannel& channel) : FChannel(channel) {}
    void UnattendedJobEnded(const TJobReport& report) override;

   private:
    TFrontEndChannel& FChannel;
  };

  std::shared_ptr<TState> FState;
  std::thread::id FFrontThread;
  TLogPaneView* FFrontPane;
  TPrompts* FFrontPrompts;
  TNotices* FFrontNotices;
  TPane FPane{*this};
  TChannelPrompts FPrompts{*this};
  TChannelNotices FNotices{*this};
};

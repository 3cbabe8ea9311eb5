#include "jobs/worker/front_end_channel.h"

#include <chrono>
#include <deque>
#include <mutex>

struct TFrontEndChannel::TState {
  std::mutex Mutex;
  std::deque<std::function<void()>> Sent;
  // A hand-over is posted and has not yet found the queue empty.
  bool HandOverPosted = false;
  bool Open = true;
  TPost Post;
};

TFrontEndChannel::TFrontEndChannel(TPost post, TLogPaneView* pane, TPrompts* prompts, TNotices* notices)
    : FState(std::make_shared<TState>()),
      FFrontThread(std::this_thread::get_id()),
      FFrontPane(pane),
      FFrontPrompts(prompts),
      FFrontNotices(notices) {
  FState->Post = std::move(post);
}

TFrontEndChannel::~TFrontEndChannel() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> guard(FState->Mutex);
    FState->Open = false;
    dropped.swap(FState->Sent);
  }
  // Destroyed unlocked: a dropped question's promise wakes its job.
}

void TFrontEndChannel::Send(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(FState->Mutex);
    if (!FState->Open) return;
    FState->Sent.push_back(std::move(work));
    if (FState->HandOverPosted) return;
    FState->HandOverPosted = true;
  }
  FState->Post([state = FState] { HandOver(state); });
}

void TFrontEndChannel::HandOver(const std::shared_ptr<TState>& state) {
  const auto until = std::chrono::steady_clock::now() + HandOverSlice;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> guard(state->Mutex);
      if (!state->Open || state->Sent.empty()) {
        state->HandOverPosted = false;
        return;
      }
      if (std::chrono::steady_clock::now() < until) {
        work = std::move(state->Sent.front());
        state->Sent.pop_front();
      }
    }
    // The slice is used up: the rest follows after the events that waited.
    if (!work) {
      state->Post([state] { HandOver(state); });
      return;
    }
    try {
      work();
    } catch (...) {
      // A seam that fails to show something does not stop the job.
    }
  }
}

void TFrontEndChannel::TPane::Clear() {
  FChannel.Send([pane = FChannel.FFrontPane] { pane->Clear(); });
}

void TFrontEndChannel::TPane::AppendLine(const std::string& line) {
  FChannel.Send([pane = FChannel.FFrontPane, line] { pane->AppendLine(line); });
}

void TFrontEndChannel::TChannelPrompts::ShowMessage(const std::string& text) {
  FChannel.Send([prompts = FChannel.FFrontPrompts, text] { prompts->ShowMessage(text); });
}

bool TFrontEndChannel::TChannelPrompts::AskYesNo(const std::string& text) {
  return FChannel.Ask<bool>([prompts = FChannel.FFrontPrompts, text] { return prompts->AskYesNo(text); });
}

bool TFrontEndChannel::TChannelPrompts::ConfirmOkCancel(const std::string& text) {
  return FChannel.Ask<bool>([prompts = FChannel.FFrontPrompts, text] { return prompts->ConfirmOkCancel(text); });
}

void TFrontEndChannel::TChannelPrompts::Beep() {
  FChannel.Send([prompts = FChannel.FFrontPrompts] { prompts->Beep(); });
}

void TFrontEndChannel::TChannelPrompts::ShowNotice(const std::string& text) {
  FChannel.Send([prompts = FChannel.FFrontPrompts, text] { prompts->ShowNotice(text); });
}

std::optional<std::string> TFrontEndChannel::TChannelPrompts::AskPassword(const std::string& text) {
  return FChannel.Ask<std::optional<std::string>>(
      [prompts = FChannel.FFrontPrompts, text] { return prompts->AskPassword(text); });
}

void TFrontEndChannel::TChannelNotices::UnattendedJobEnded(const TJobReport& report) {
  FChannel.Send([notices = FChannel.FFrontNotices, report] { notices->UnattendedJobEnded(report); });
}

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvex {

enum TQxStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};

enum TWorkMode { wmRead, wmWrite };

class TQxComponent;

using TQxNotifyEvent = std::function<void(TQxComponent& ASender)>;
using TQxStatusEvent =
    std::function<void(TQxComponent& ASender, TQxStatus AStatus, const std::u16string& AText)>;
using TWorkBeginEvent =
    std::function<void(TQxComponent& ASender, TWorkMode AWorkMode, std::int64_t AWorkCountMax)>;
using TWorkEvent =
    std::function<void(TQxComponent& ASender, TWorkMode AWorkMode, std::int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TQxComponent& ASender, TWorkMode AWorkMode)>;

// Base of the protocol components: holds a usage of the socket stack for its
// lifetime, reports status and work progress, and tells watchers when it goes.
class TQxComponent {
 public:
  TQxComponent();
  virtual ~TQxComponent();
  TQxComponent(const TQxComponent&) = delete;
  TQxComponent& operator=(const TQxComponent&) = delete;

  TQxStatusEvent OnStatus;
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Work is reported to the target instead, when one is set.
  TQxComponent* WorkTarget() const { return FWorkTarget; }
  void SetWorkTarget(TQxComponent* AValue) { FWorkTarget = AValue; }

  void BeginWork(TWorkMode AWorkMode, std::int64_t ASize = 0);
  void DoWork(TWorkMode AWorkMode, std::int64_t ACount);
  void EndWork(TWorkMode AWorkMode);

  // AWatcher's FreeNotification runs when this component is destroyed.
  void AddFreeNotification(TQxComponent* AWatcher);
  void RemoveFreeNotification(TQxComponent* AWatcher);

 protected:
  // Formats and reports a status, only when OnStatus is set. AArg fills the
  // "%s" of the status text.
  void DoStatus(TQxStatus AStatus, const std::u16string& AArg = {});
  virtual void FreeNotification(TQxComponent* AComponent);

 private:
  struct TWorkInfo {
    int Level = 0;
    std::int64_t Position = 0;
    std::int64_t Size = 0;
  };
  TWorkInfo FWorkInfos[2];
  TQxComponent* FWorkTarget = nullptr;
  std::vector<TQxComponent*> FWatchers;  // told when this one goes
  std::vector<TQxComponent*> FWatched;   // this one is told when they go
};

}  // namespace quorvex

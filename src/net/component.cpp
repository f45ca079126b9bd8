#include "net/component.h"

#include <algorithm>

#include "net/stack.h"

namespace quorvex {

TQxComponent::TQxComponent() { TQxStack::IncUsage(); }

TQxComponent::~TQxComponent() {
  for (TQxComponent* watcher : std::vector<TQxComponent*>(FWatchers)) {
    auto& list = watcher->FWatched;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    watcher->FreeNotification(this);
  }
  for (TQxComponent* watched : FWatched) {
    auto& list = watched->FWatchers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  TQxStack::DecUsage();
}

void TQxComponent::AddFreeNotification(TQxComponent* AWatcher) {
  if (!AWatcher || std::find(FWatchers.begin(), FWatchers.end(), AWatcher) != FWatchers.end())
    return;
  FWatchers.push_back(AWatcher);
  AWatcher->FWatched.push_back(this);
}

void TQxComponent::RemoveFreeNotification(TQxComponent* AWatcher) {
  FWatchers.erase(std::remove(FWatchers.begin(), FWatchers.end(), AWatcher), FWatchers.end());
  if (AWatcher) {
    auto& list = AWatcher->FWatched;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TQxComponent::FreeNotification(TQxComponent*) {}

void TQxComponent::DoStatus(TQxStatus AStatus, const std::u16string& AArg) {
  if (!OnStatus) return;
  std::u16string text;
  switch (AStatus) {
    case hsResolving:
      text = u"Resolving hostname " + AArg + u".";
      break;
    case hsConnecting:
      text = u"Connecting to " + AArg + u".";
      break;
    case hsConnected:
      text = u"Connected.";
      break;
    case hsDisconnecting:
      text = u"Disconnecting.";
      break;
    case hsDisconnected:
      text = u"Disconnected.";
      break;
    default:
      text = AArg;
      break;
  }
  OnStatus(*this, AStatus, text);
}

void TQxComponent::BeginWork(TWorkMode AWorkMode, std::int64_t ASize) {
  if (FWorkTarget) return FWorkTarget->BeginWork(AWorkMode, ASize);
  TWorkInfo& info = FWorkInfos[AWorkMode];
  if (info.Level++ == 0) {
    info.Size = ASize;
    info.Position = 0;
    if (OnWorkBegin) OnWorkBegin(*this, AWorkMode, ASize);
  }
}

void TQxComponent::DoWork(TWorkMode AWorkMode, std::int64_t ACount) {
  if (FWorkTarget) return FWorkTarget->DoWork(AWorkMode, ACount);
  TWorkInfo& info = FWorkInfos[AWorkMode];
  if (info.Level > 0) {
    info.Position += ACount;
    if (OnWork) OnWork(*this, AWorkMode, info.Position);
  }
}

void TQxComponent::EndWork(TWorkMode AWorkMode) {
  if (FWorkTarget) return FWorkTarget->EndWork(AWorkMode);
  TWorkInfo& info = FWorkInfos[AWorkMode];
  if (info.Level == 1 && OnWorkEnd) OnWorkEnd(*this, AWorkMode);
  if (info.Level > 0) --info.Level;
}

}  // namespace quorvex

#pragma once

#include <vector>

#include "monitor/observer.h"

namespace quorvex {

// The observers a front end registers, told of each event in the order they
// were added. The engine, the outage book and the deliveries all report to
// one list.
class TObserverList final : public IMonitorObserver {
 public:
  void add(IMonitorObserver& observer) { _observers.push_back(&observer); }

  void statusChanged(const TStatusChange& change) override {
    for (IMonitorObserver* o : _observers) o->statusChanged(change);
  }
  void output(int row, const std::u16string& text) override {
    for (IMonitorObserver* o : _observers) o->output(row, text);
  }
  void batchDone() override {
    for (IMonitorObserver* o : _observers) o->batchDone();
  }
  void outageChanged(int row, const TOutageState& state) override {
    for (IMonitorObserver* o : _observers) o->outageChanged(row, state);
  }
  void deliveryDone(const TDeliveryOutcome& outcome) override {
    for (IMonitorObserver* o : _observers) o->deliveryDone(outcome);
  }

 private:
  std::vector<IMonitorObserver*> _observers;  // not owned
};

}  // namespace quorvex

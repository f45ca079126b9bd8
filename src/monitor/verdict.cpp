#include "monitor/verdict.h"

namespace quorvex {

TVerdictSide verdictSide(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Successful:
      return TVerdictSide::Up;
    case TVerdict::Failed:
    case TVerdict::FailedToStart:
      return TVerdictSide::Down;
    case TVerdict::NotRun:
    case TVerdict::Running:
    case TVerdict::Interrupted:
      break;
  }
  return TVerdictSide::Neither;
}

TTestResult policyResult(TVerdict verdict) {
  if (verdict == TVerdict::FailedToStart) return TTestResult::Neither;
  switch (verdictSide(verdict)) {
    case TVerdictSide::Up:
      return TTestResult::Successful;
    case TVerdictSide::Down:
      return TTestResult::Failed;
    case TVerdictSide::Neither:
      break;
  }
  return TTestResult::Neither;
}

bool endsTest(TVerdict verdict) {
  return verdict != TVerdict::NotRun && verdict != TVerdict::Running;
}

std::u16string_view verdictText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::NotRun:
      return u"Not Run";
    case TVerdict::Running:
      return u"Running";
    case TVerdict::Successful:
      return u"Successful";
    case TVerdict::Failed:
      return u"Failed";
    case TVerdict::FailedToStart:
      return u"Failed to start";
    case TVerdict::Interrupted:
      return u"Interrupted";
  }
  return u"";
}

}  // namespace quorvex

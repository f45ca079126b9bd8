#pragma once

#include <string_view>

#include "alerts/alert_policy.h"

namespace quorvex {

// The status of a server row. Its words belong to the views (verdictText).
enum class TVerdict { NotRun, Running, Successful, Failed, FailedToStart, Interrupted };

// How a status counts, in one place for every view and report: up, down, or
// neither (no result yet, or none reached).
enum class TVerdictSide { Up, Down, Neither };
TVerdictSide verdictSide(TVerdict verdict);

// What the alert policy sees of a status. "Failed to start" is down for the
// views but says nothing of the server: it neither counts towards an outage
// nor ends one.
TTestResult policyResult(TVerdict verdict);

// A status that ends a test: any but Not Run and Running.
bool endsTest(TVerdict verdict);

// "Not Run", "Running", "Successful", "Failed", "Failed to start",
// "Interrupted": the words the rows show.
std::u16string_view verdictText(TVerdict verdict);

}  // namespace quorvex

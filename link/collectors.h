// Time bounds of the collectors that gather the reader's answers.
#pragma once

namespace tessaro::link {

// Single answers (GetDataFromPort).
constexpr unsigned kResponseIdleMs = 1000;   // while the caller's length variable is 0
constexpr unsigned kResponseLimitMs = 2000;

// Streamed answers.
constexpr unsigned kStreamIdleMs = 1000;     // nothing has arrived yet
constexpr unsigned kInventoryExtraMs = 5000; // inventory stream: 2 x T + 5000
constexpr unsigned kBufferStreamLimitMs = 10000;
constexpr unsigned kLengthEndedExtraMs = 1000;  // length-ended answer: T + 1000
constexpr unsigned kDefaultPeriodMs = 1000;  // T while no inventory is in progress

}  // namespace tessaro::link

#include "clock.h"

#include <thread>

namespace tessaro::sim {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t &year, unsigned &month, unsigned &day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

const std::int64_t kEpoch2000 = daysFromCivil(2000, 1, 1);

unsigned daysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

SimClock::SimClock(bool virtualTime)
    : virtual_(virtualTime), start_(std::chrono::steady_clock::now()) {}

std::uint64_t SimClock::nowMs() const {
    if (virtual_) return counterMs_;
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void SimClock::advance(unsigned ms) {
    if (virtual_) counterMs_ += ms;
}

void sleepFor(unsigned ms) {
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool isValidClock(const unsigned char clock[6]) {
    const unsigned year = 2000u + clock[0];
    return clock[0] <= 99 && clock[1] >= 1 && clock[1] <= 12 && clock[2] >= 1 &&
           clock[2] <= daysInMonth(year, clock[1]) && clock[3] < 24 && clock[4] < 60 &&
           clock[5] < 60;
}

std::uint64_t secondsFromClockBytes(const unsigned char clock[6]) {
    const std::int64_t days = daysFromCivil(2000 + clock[0], clock[1], clock[2]) - kEpoch2000;
    return static_cast<std::uint64_t>(days * kSecondsPerDay + clock[3] * 3600 + clock[4] * 60 +
                                      clock[5]);
}

void clockBytesFromSeconds(std::uint64_t seconds, unsigned char clock[6]) {
    const auto days = static_cast<std::int64_t>(seconds / kSecondsPerDay);
    const auto rest = static_cast<unsigned>(seconds % kSecondsPerDay);
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days + kEpoch2000, year, month, day);
    // The clock's year byte counts from 2000 and wraps after 2099.
    clock[0] = static_cast<unsigned char>((year - 2000) % 100);
    clock[1] = static_cast<unsigned char>(month);
    clock[2] = static_cast<unsigned char>(day);
    clock[3] = static_cast<unsigned char>(rest / 3600);
    clock[4] = static_cast<unsigned char>(rest / 60 % 60);
    clock[5] = static_cast<unsigned char>(rest % 60);
}

}  // namespace tessaro::sim

#include "common/DateTime.h"

#include <ctime>

void DateTime::SetNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
}

// Fliegel and Van Flandern's integer formulas for the proleptic Gregorian calendar; the
// divisions truncate toward zero as written. Worked in 64 bits so that absurd dates
// (from a damaged file time) cannot overflow; the result is then narrowed.
std::int32_t DateTime::ToDayNumber() const {
    std::int64_t y = year;
    std::int64_t m = month;
    std::int64_t a = (m - 14) / 12;
    std::int64_t number = (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
                          (3 * ((y + 4900 + a) / 100)) / 4 + day - 32075;
    return static_cast<std::int32_t>(number);
}

void DateTime::FromDayNumber(std::int32_t dayNumber) {
    std::int64_t l = static_cast<std::int64_t>(dayNumber) + 68569;
    std::int64_t q = (4 * l) / 146097;
    l = l - (146097 * q + 3) / 4;
    std::int64_t i = (4000 * (l + 1)) / 1461001;
    l = l - (1461 * i) / 4 + 31;
    std::int64_t j = (80 * l) / 2447;
    day = static_cast<int>(l - (2447 * j) / 80);
    l = j / 11;
    month = static_cast<int>(j + 2 - 12 * l);
    year = static_cast<int>(100 * (q - 49) + i + l);
}

#include <ctime>

#include <gtest/gtest.h>

#include "common/DateTime.h"

TEST(DateTime, ConvertsKnownDatesToDayNumbersAndBack) {
    EXPECT_EQ(DateTime().year, 0);
    EXPECT_EQ(DateTime().second, 0);

    EXPECT_EQ(DateTime(2000, 1, 1).ToDayNumber(), 2451545);
    DateTime back(1, 2, 3, 4, 5, 6);
    back.FromDayNumber(2451545);
    EXPECT_EQ(back, DateTime(2000, 1, 1, 4, 5, 6)) << "the time of day must stay";

    EXPECT_EQ(DateTime(2008, 3, 1).ToDayNumber() - DateTime(2008, 2, 29).ToDayNumber(), 1);
    EXPECT_EQ(DateTime(1900, 3, 1).ToDayNumber() - DateTime(1900, 2, 28).ToDayNumber(), 1);
    EXPECT_EQ(DateTime(1970, 1, 1).ToDayNumber(), 2440588);
    EXPECT_EQ(DateTime(2008, 2, 29, 23, 59, 59).ToDayNumber(), DateTime(2008, 2, 29).ToDayNumber());
}

TEST(DateTime, DayNumbersWalkTheCalendarOneDayAtATime) {
    // every day from 1600 to 2400 follows the one before and converts back to itself
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int number = DateTime(1600, 1, 1).ToDayNumber();
    for (int year = 1600; year <= 2400; ++year) {
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; ++month) {
            int days = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
            for (int day = 1; day <= days; ++day, ++number) {
                DateTime date(year, month, day);
                ASSERT_EQ(date.ToDayNumber(), number) << year << "-" << month << "-" << day;
                DateTime converted;
                converted.FromDayNumber(number);
                ASSERT_EQ(converted, date) << number;
            }
        }
    }
}

TEST(DateTime, SetNowReadsTheLocalClock) {
    std::time_t before = std::time(nullptr);
    DateTime now;
    now.SetNow();
    std::time_t after = std::time(nullptr);
    std::tm local{};
    localtime_r(&before, &local);
    std::tm localAfter{};
    localtime_r(&after, &localAfter);
    // the clock may tick between the readings: accept either side
    bool matchesBefore = now.year == local.tm_year + 1900 && now.month == local.tm_mon + 1 &&
                         now.day == local.tm_mday && now.hour == local.tm_hour && now.minute == local.tm_min;
    bool matchesAfter = now.year == localAfter.tm_year + 1900 && now.month == localAfter.tm_mon + 1 &&
                        now.day == localAfter.tm_mday && now.hour == localAfter.tm_hour &&
                        now.minute == localAfter.tm_min;
    EXPECT_TRUE(matchesBefore || matchesAfter);
    EXPECT_GE(now.second, 0);
    EXPECT_LE(now.second, 60);
}

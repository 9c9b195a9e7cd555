#pragma once
// A calendar date and time of day, with conversions to and from Julian Day Numbers.
// Built on the C library's localtime_r.

#include <cstdint>

class DateTime {
public:
    DateTime() = default;
    DateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
        : year(year), month(month), day(day), hour(hour), minute(minute), second(second) {}
    virtual ~DateTime() = default;
    DateTime(const DateTime&) = default;
    DateTime& operator=(const DateTime&) = default;

    /// Fills every field from the current local time.
    virtual void SetNow();
    /// The Julian Day Number of the date part (the time of day is ignored).
    virtual std::int32_t ToDayNumber() const;
    /// Sets the date part from a Julian Day Number; the time of day stays.
    virtual void FromDayNumber(std::int32_t dayNumber);

    bool operator==(const DateTime& other) const = default;

    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

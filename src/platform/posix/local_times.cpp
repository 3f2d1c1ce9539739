#include "platform/posix/local_times.h"

#include "platform/errors.h"

namespace mabrel::platform::posix {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The civil date and time of seconds since 1970 counted in local time.
LocalTime civil(std::int64_t seconds) {
    const std::int64_t days = floorDiv(seconds, 86400);
    const std::int64_t inDay = seconds - days * 86400;
    // Days to year, month, day (proleptic Gregorian), after H. Hinnant.
    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2);
    return LocalTime{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                     static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60)};
}

LocalTime fromTm(const std::tm& tm) {
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

LocalTime libraryLocalTime(std::time_t t) {
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) throw PlatformError(err::InvalidArgument);
    return fromTm(tm);
}

LocalTimes::Hour& LocalTimes::slot(std::int64_t index) {
    if (2 * (used_ + 1) > hours_.size()) {
        std::vector<Hour> old = std::move(hours_);
        hours_.assign(old.empty() ? 64 : 2 * old.size(), Hour{});
        used_ = 0;
        for (const Hour& h : old) {
            if (h.state != State::Empty) slot(h.index) = h, ++used_;
        }
    }
    const std::size_t mask = hours_.size() - 1;
    std::size_t i = static_cast<std::size_t>(index * 0x9E3779B97F4A7C15ull >> 20) & mask;
    while (hours_[i].state != State::Empty && hours_[i].index != index) i = (i + 1) & mask;
    return hours_[i];
}

LocalTime LocalTimes::of(std::time_t t) {
    const std::int64_t index = floorDiv(static_cast<std::int64_t>(t), 3600);
    Hour& hour = slot(index);
    switch (hour.state) {
    case State::Empty:
        // An hour met once costs what the library's conversion costs.
        hour.index = index;
        hour.state = State::SeenOnce;
        ++used_;
        return libraryLocalTime(t);
    case State::SeenOnce: {
        hour.state = State::Uneven;
        const std::time_t start = static_cast<std::time_t>(index * 3600);
        const std::time_t end = start + 3599;
        std::tm a{}, b{};
        if (::localtime_r(&start, &a) && ::localtime_r(&end, &b) && a.tm_gmtoff == b.tm_gmtoff &&
            civil(static_cast<std::int64_t>(start) + a.tm_gmtoff) == fromTm(a) &&
            civil(static_cast<std::int64_t>(end) + b.tm_gmtoff) == fromTm(b)) {
            hour.state = State::Even;
            hour.offset = a.tm_gmtoff;
        }
        break;
    }
    case State::Even:
    case State::Uneven:
        break;
    }
    if (hour.state == State::Uneven) return libraryLocalTime(t);
    return civil(static_cast<std::int64_t>(t) + hour.offset);
}

}  // namespace mabrel::platform::posix

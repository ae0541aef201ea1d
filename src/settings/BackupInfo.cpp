#include "settings/BackupInfo.h"

#include <cstdio>
#include <ctime>

namespace qob {

std::string generalDateText(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    std::string out = std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) + "/" +
                      std::to_string(local.tm_year + 1900);
    if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) {
        return out;
    }
    int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char time[32];
    std::snprintf(time, sizeof time, " %d:%02d:%02d %s", hour12, local.tm_min, local.tm_sec,
                  local.tm_hour < 12 ? "AM" : "PM");
    return out + time;
}

} // namespace qob

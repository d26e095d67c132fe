#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace pw::testing {

// Sets (or, with nullptr, unsets) an environment variable for its lifetime and restores
// what was there before.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_.c_str(), previous_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// China's time, eight hours ahead of UTC and without summer time, as the computer's for
// the test's length.
class ChinaTime {
public:
    ChinaTime() { ::tzset(); }

private:
    // Declared first, so gone last: the zone is read again once TZ is as it was.
    struct ReadZoneAgain {
        ~ReadZoneAgain() { ::tzset(); }
    } readAgain_;
    ScopedEnv zone_{"TZ", "CST-8"};
};

}  // namespace pw::testing

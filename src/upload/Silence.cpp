#include "upload/Silence.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "rtl/Utf.h"

namespace upload {

std::string SilenceReason(std::optional<AttemptOutcome> reason) {
    return reason ? OutcomeReason(*reason) : "no attempt made";
}

std::string ClockText(const rtl::LocalTime& time, const rtl::LocalTime& today) {
    char text[40];
    if (time.year == today.year && time.month == today.month && time.day == today.day)
        std::snprintf(text, sizeof text, "%02d:%02d", time.hour, time.minute);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", time.year, time.month, time.day, time.hour,
                      time.minute);
    return text;
}

std::string SilenceText(const std::optional<rtl::LocalTime>& lastDelivery, const rtl::LocalTime& today,
                        std::optional<AttemptOutcome> reason) {
    const std::string since = lastDelivery ? ClockText(*lastDelivery, today) : "start";
    return "No upload since " + since + ": " + SilenceReason(reason);
}

std::string TipText(const std::string& text) {
    if (text.size() <= kMaxTipLength) return text;
    return rtl::Utf8Prefix(text, kMaxTipLength - 3) + "...";
}

SilenceWatch::SilenceWatch(rtl::TimePoint start) : since_(start), countFrom_(start) {}

SilenceWatch::Change SilenceWatch::Note(AttemptOutcome outcome, rtl::TimePoint at, int intervalMinutes) {
    if (outcome != AttemptOutcome::Delivered) {
        reason_ = outcome;
        return Check(at, intervalMinutes);
    }
    since_ = countFrom_ = at;
    delivered_ = true;
    reason_.reset();
    const bool ended = warning_;
    warning_ = false;
    return ended ? Change::Ends : Change::None;
}

void SilenceWatch::Resumed(rtl::TimePoint at) {
    if (suspendedAt_ && at > *suspendedAt_) countFrom_ += at - *suspendedAt_;
    suspendedAt_.reset();
}

SilenceWatch::Change SilenceWatch::Check(rtl::TimePoint now, int intervalMinutes) {
    // Once the warning holds, only a delivery ends it.
    if (warning_) return Change::None;
    // A clock set back starts the count again rather than putting the
    // warning off for as long as it was set back.
    if (now < countFrom_) countFrom_ = now;
    if (now - countFrom_ < std::chrono::minutes(kSilentIntervals * std::max(intervalMinutes, 1))) return Change::None;
    warning_ = true;
    return Change::Begins;
}

std::optional<rtl::TimePoint> SilenceWatch::LastDelivery() const {
    if (!delivered_) return std::nullopt;
    return since_;
}

std::string SilenceWatch::Text() const {
    std::optional<rtl::LocalTime> last;
    if (delivered_) last = rtl::ToLocal(since_);
    return SilenceText(last, rtl::LocalNow(), reason_);
}

}  // namespace upload

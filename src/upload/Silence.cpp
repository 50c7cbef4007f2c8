#include "upload/Silence.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace upload {

std::string SilenceReason(std::optional<AttemptOutcome> reason) {
    return reason ? OutcomeReason(*reason) : "no attempt made";
}

std::string SilenceText(const std::optional<rtl::LocalTime>& lastDelivery, std::optional<AttemptOutcome> reason) {
    char since[32] = "start";
    if (lastDelivery) std::snprintf(since, sizeof since, "%02d:%02d", lastDelivery->hour, lastDelivery->minute);
    return std::string("No upload since ") + since + ": " + SilenceReason(reason);
}

std::string TipText(const std::string& text) {
    if (text.size() <= kMaxTipLength) return text;
    return text.substr(0, kMaxTipLength - 3) + "...";
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
    return SilenceText(last, reason_);
}

}  // namespace upload

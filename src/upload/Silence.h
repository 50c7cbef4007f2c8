// A long silence made visible: when nothing has been delivered for three
// intervals the window says so, with the time of the last delivery and why
// the latest attempt delivered nothing, until the next delivery.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "rtl/Clock.h"
#include "upload/Outcome.h"

namespace upload {

// This many intervals without a delivery make a silence.
inline constexpr int kSilentIntervals = 3;
// The tray tip's room.
inline constexpr std::size_t kMaxTipLength = 63;

// Why nothing was delivered: the latest outcome's text, "no attempt made"
// when there was no attempt.
std::string SilenceReason(std::optional<AttemptOutcome> reason);
// A local time as the owner reads it: "14:05" on the day `today`,
// "2026-12-05 14:05" on any other.
std::string ClockText(const rtl::LocalTime& time, const rtl::LocalTime& today);
// "No upload since 14:05: report unchanged" (the local time of the last
// delivery, with its date when that was not today), "No upload since
// start: ..." when there was none; the reason is that of the latest attempt
// since, "no attempt made" when there was none.
std::string SilenceText(const std::optional<rtl::LocalTime>& lastDelivery, const rtl::LocalTime& today,
                        std::optional<AttemptOutcome> reason);
// A text as the tray tip can hold it: whole up to 63 characters, otherwise
// cut and ended with "...".
std::string TipText(const std::string& text);

class SilenceWatch {
public:
    enum class Change { None, Begins, Ends };

    // Counts from the program's start until the first delivery.
    explicit SilenceWatch(rtl::TimePoint start);

    // An attempt ended at `at`: a delivery ends the warning and starts the
    // count again; any other outcome becomes the reason shown, and the
    // silence is checked as by Check.
    Change Note(AttemptOutcome outcome, rtl::TimePoint at, int intervalMinutes);
    // The system suspends, and resumes: the time asleep is not counted, as
    // nobody could upload then. A resume without a suspend seen changes nothing.
    void Suspended(rtl::TimePoint at) { suspendedAt_ = at; }
    void Resumed(rtl::TimePoint at);
    // Whether the warning begins at `now`, with the interval as it reads
    // now: at three intervals after the last delivery (or the start). It
    // then holds until the next delivery.
    Change Check(rtl::TimePoint now, int intervalMinutes);

    bool Warning() const { return warning_; }
    // The last delivery, if there was one.
    std::optional<rtl::TimePoint> LastDelivery() const;
    std::optional<AttemptOutcome> Reason() const { return reason_; }
    // SilenceText for this silence (the status line), and as a tip, as read now.
    std::string Text() const;
    std::string Tip() const { return TipText(Text()); }

private:
    rtl::TimePoint since_;      // the last delivery, or the start
    rtl::TimePoint countFrom_;  // since_, or later by the time asleep or a clock set back
    std::optional<rtl::TimePoint> suspendedAt_;
    bool delivered_ = false;
    std::optional<AttemptOutcome> reason_;
    bool warning_ = false;
};

}  // namespace upload

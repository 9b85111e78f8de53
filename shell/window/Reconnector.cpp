#include "Reconnector.h"

#include "Sysutil.h"

#include <cmath>

namespace telv {

Reconnector::Reconnector(std::function<void()> startAttempt, std::function<void(const std::string&)> log,
                         QObject* parent)
    : QObject(parent), startAttempt_(std::move(startAttempt)), log_(std::move(log)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Reconnector::Attempt);
}

void Reconnector::SetEnabled(bool enabled) {
    if (!enabled) Stop();
    enabled_ = enabled;
}

void Reconnector::ConnectionEnded(ConnectionEnd how) {
    switch (how) {
    case ConnectionEnd::OperatorAsked:
        Stop();
        return;
    case ConnectionEnd::Lost:
        if (!enabled_) return;
        active_ = true;
        Schedule();
        return;
    case ConnectionEnd::AttemptFailed:
        // Only an attempt of a series goes on; the operator's own attempt is left to the operator.
        if (enabled_ && active_) Schedule();
        return;
    }
}

void Reconnector::ConnectionRunning() {
    active_ = false;
    timer_.stop();
    backoff_.Reset();
}

void Reconnector::Stop() {
    if (active_) log_("Переподключение остановлено");
    active_ = false;
    timer_.stop();
    backoff_.Reset();
}

void Reconnector::Schedule() {
    const auto delay = backoff_.NextDelay();
    log_(Format("Переподключение через %lld с", static_cast<long long>(delay.count() / 1000)));
    timer_.start(static_cast<int>(std::lround(static_cast<double>(delay.count()) * timeScale_)));
}

void Reconnector::Attempt() {
    if (!active_) return;
    log_(Format("Переподключение: попытка %d", backoff_.Attempts()));
    startAttempt_();
}

}  // namespace telv

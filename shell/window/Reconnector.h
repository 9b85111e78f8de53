// Staying connected: after a connection ends without the operator asking, the connect action is
// run again after 1 s, then after waits doubling up to a minute, each attempt logged, until a
// connection completes its handshake or the operator steps in (disconnect, an edit of the
// server boxes, switching the option off).
#pragma once

#include "ConnectionController.h"
#include "ReconnectBackoff.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

namespace telv {

class Reconnector : public QObject {
public:
    // startAttempt starts an attempt as the connect action does; log writes a line to the event log.
    Reconnector(std::function<void()> startAttempt, std::function<void(const std::string&)> log,
                QObject* parent = nullptr);

    // Off by default. Switching it off stops a series under way.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    // Tests: real waits are the nominal ones times this factor.
    void SetTimeScale(double scale) { timeScale_ = scale; }

    // The controller's news.
    void ConnectionEnded(ConnectionEnd how);
    void ConnectionRunning();
    // The operator acted (disconnect, connect, an edit of the address or the port): no further
    // attempt of the series.
    void Stop();

    bool Active() const { return active_; }
    bool Waiting() const { return timer_.isActive(); }
    int Attempts() const { return backoff_.Attempts(); }

private:
    void Schedule();
    void Attempt();

    std::function<void()> startAttempt_;
    std::function<void(const std::string&)> log_;
    ReconnectBackoff backoff_;
    QTimer timer_;
    double timeScale_ = 1.0;
    bool enabled_ = false;
    bool active_ = false;  // a series is under way: a failed attempt schedules the next one
};

}  // namespace telv

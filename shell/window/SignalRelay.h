// Brings the signals that end a program (SIGTERM, SIGINT, SIGHUP) into the event loop, so that
// the window can close as the Exit action does and save what the operator changed.
//
// The handler only writes the signal's number into a pipe; a notifier on the pipe's other end
// emits Received on the GUI thread. Each signal is caught once: a second one of the same kind
// ends the program as before (a close that hangs can still be ended).
#pragma once

#include <QObject>

class QSocketNotifier;

namespace telv {

class SignalRelay : public QObject {
    Q_OBJECT
public:
    explicit SignalRelay(QObject* parent = nullptr);
    ~SignalRelay() override;  // the signals' earlier handling comes back
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

    // False when the pipe or a handler could not be set up (the signals then end the program).
    bool Installed() const { return installed_; }

signals:
    void Received(int signalNumber);

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace telv

#include "SignalRelay.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace telv {
namespace {

constexpr std::array kRelayedSignals = {SIGTERM, SIGINT, SIGHUP};

// One relay per process: the handler can only reach globals.
int pipeWriteEnd = -1;
int pipeReadEnd = -1;
std::array<struct sigaction, kRelayedSignals.size()> previousActions{};

extern "C" void RelaySignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds signals enough to close the window.
    [[maybe_unused]] const ssize_t written = ::write(pipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

SignalRelay::SignalRelay(QObject* parent) : QObject(parent) {
    if (pipeWriteEnd >= 0) return;  // another relay is installed
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    pipeReadEnd = ends[0];
    pipeWriteEnd = ends[1];
    notifier_ = new QSocketNotifier(pipeReadEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalRelay::Drain);

    struct sigaction action {};
    action.sa_handler = RelaySignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(static_cast<unsigned>(SA_RESTART) | static_cast<unsigned>(SA_RESETHAND));
    installed_ = true;
    for (std::size_t i = 0; i < kRelayedSignals.size(); ++i) {
        if (::sigaction(kRelayedSignals[i], &action, &previousActions[i]) != 0) installed_ = false;
    }
}

SignalRelay::~SignalRelay() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < kRelayedSignals.size(); ++i) ::sigaction(kRelayedSignals[i], &previousActions[i], nullptr);
    delete notifier_;
    ::close(pipeReadEnd);
    ::close(pipeWriteEnd);
    pipeReadEnd = -1;
    pipeWriteEnd = -1;
}

void SignalRelay::Drain() {
    unsigned char bytes[64];
    ssize_t n = 0;
    while ((n = ::read(pipeReadEnd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) emit Received(bytes[i]);
    }
}

}  // namespace telv

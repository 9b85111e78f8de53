#include "WakeUp.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace telv {

// Closed when the wake-up and every trigger have let go of it.
struct WakeUp::Trigger::Descriptor {
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    const int fd;
};

void WakeUp::Trigger::Signal() const {
    const std::uint64_t one = 1;
    // Fails only when the counter is near its maximum, that is when a call is due anyway.
    static_cast<void>(::write(descriptor_->fd, &one, sizeof one));
}

WakeUp::WakeUp(std::function<void()> onWake) : onWake_(std::move(onWake)) {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    trigger_.descriptor_ = std::make_shared<const Trigger::Descriptor>(fd);
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { Woken(); });
}

WakeUp::~WakeUp() {
    notifier_.reset();  // before the descriptor may close
}

void WakeUp::Woken() {
    std::uint64_t count = 0;
    static_cast<void>(::read(trigger_.descriptor_->fd, &count, sizeof count));
    if (onWake_) onWake_();
}

}  // namespace telv

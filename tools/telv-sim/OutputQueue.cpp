#include "OutputQueue.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace telv::sim {

void OutputQueue::Push(SharedBytes bytes, Millis notBefore) {
    if (!bytes || bytes->empty() || cutReached_) return;
    const std::size_t size = bytes->size();
    items_.push_back({std::move(bytes), size, 0, notBefore, false});
    queuedBytes_ += size;
}

void OutputQueue::PushCut(SharedBytes bytes, std::size_t cutAt, Millis notBefore) {
    if (!bytes || cutReached_) return;
    const std::size_t end = std::min(cutAt, bytes->size());
    items_.push_back({std::move(bytes), end, 0, notBefore, true});
    queuedBytes_ += end;
}

std::optional<Millis> OutputQueue::DueTime() const {
    if (items_.empty()) return std::nullopt;
    return items_.front().notBefore;
}

OutputQueue::FlushResult OutputQueue::Flush(int fd, Millis now, std::uint64_t& sentBytes) {
    std::size_t budget = pieceSize_ ? pieceSize_ : kMaxBytesPerFlush;
    while (!items_.empty() && budget > 0) {
        Item& item = items_.front();
        if (item.notBefore > now) return FlushResult::Done;
        const std::size_t chunk = std::min(budget, item.end - item.offset);
        if (chunk > 0) {
            const ssize_t sent = ::send(fd, item.bytes->data() + item.offset, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return FlushResult::WouldBlock;
                return FlushResult::Failed;
            }
            const auto written = static_cast<std::size_t>(sent);
            item.offset += written;
            queuedBytes_ -= written;
            sentBytes += written;
            budget -= written;
            if (pieceSize_) budget = 0;  // one piece per call, so that pieces leave separately
        }
        if (item.offset == item.end) {
            const bool cut = item.cut;
            items_.pop_front();
            if (cut) {
                cutReached_ = true;
                for (const Item& rest : items_) queuedBytes_ -= rest.end - rest.offset;
                items_.clear();
                return FlushResult::Cut;
            }
        }
    }
    return FlushResult::Done;
}

}  // namespace telv::sim

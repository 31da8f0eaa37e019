#include "lifecycle/Library.h"

#include <cstdlib>

#include "link/LinkFactory.h"

namespace qdx {

namespace {

constexpr uint32_t packVersion(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision)
{
    return (major & 0xFF) << 24 | (minor & 0xFF) << 16 | (build & 0xFF) << 8 | (revision & 0xFF);
}

// Tests shorten the bulk-read limit to see a stalled camera's aborted reads
// without waiting seconds for each.
std::chrono::milliseconds bulkReadLimit()
{
    if (const char* value = std::getenv("QDX_BULK_READ_LIMIT_MS")) {
        const long ms = std::strtol(value, nullptr, 10);
        if (ms > 0)
            return std::chrono::milliseconds(ms);
    }
    return kBulkReadLimit;
}

}  // namespace

Library& Library::instance()
{
    // Never destroyed: a host that skips QDX_Term must not have running
    // threads meet a destroyed library during exit.
    static Library* library = new Library();
    return *library;
}

void Library::init()
{
    std::lock_guard lifecycle(lifecycleMutex_);
    if (running_.load(std::memory_order_acquire))
        return;
    version_.store(packVersion(QDX_VERSION_MAJOR, QDX_VERSION_MINOR, QDX_VERSION_BUILD, QDX_VERSION_REVISION),
                   std::memory_order_release);
    changeMask_.clear();
    shadow_.reset();

    auto link = makeLinkFromEnvironment();
    auto stream = std::make_unique<FrameStream>(*link, bulkReadLimit(),
                                                [this](bool connected) { statusObserver_.report(connected ? QDX_STATUS_CONNECTED : 0); });
    stream->start();

    std::unique_lock lock(runMutex_);
    link_ = std::move(link);
    stream_ = std::move(stream);
    running_.store(true, std::memory_order_release);
}

void Library::term()
{
    std::lock_guard lifecycle(lifecycleMutex_);
    std::unique_ptr<Link> link;
    std::unique_ptr<FrameStream> stream;
    running_.store(false, std::memory_order_release);
    {
        // Calls in progress finish their transfer first; later ones find the
        // library stopped without waiting.
        std::unique_lock lock(runMutex_);
        link = std::move(link_);
        stream = std::move(stream_);
    }
    if (stream)
        stream->stop();
    stream.reset();
    link.reset();
}

bool Library::request(const SetupPacket& setup, uint8_t* data)
{
    if (!running_.load(std::memory_order_acquire))
        return false;
    bool ok = false;
    {
        std::shared_lock lock(runMutex_);
        if (!link_)
            return false;
        ok = link_->controlTransfer(setup, data);
    }
    // Outside the lock: an observer that calls QDX_Term does not wait for itself.
    observer_.report(setup, data, ok);
    return ok;
}

bool Library::readStatus(uint8_t* record)
{
    if (!request(deviceStatusRequest(), record))
        return false;
    changeMask_.merge(record);
    return true;
}

DeviceProblem Library::deviceProblem()
{
    if (!running_.load(std::memory_order_acquire))
        return {};
    std::shared_lock lock(runMutex_);
    if (!link_ || !stream_ || stream_->connected())
        return {};
    return link_->problem();
}

}  // namespace qdx

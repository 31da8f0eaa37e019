// The link to the simulated camera on the in-process bus.
#include <atomic>
#include <memory>
#include <shared_mutex>

#include "link/Link.h"
#include "sim/ControlChannel.h"
#include "sim/SimBus.h"

namespace qdx {

namespace {

class SimLink final : public Link {
public:
    // The control channel lives as long as the link: from QDX_Init to QDX_Term.
    SimLink()
        : bus_(sim::SimBus::instance()), watch_(bus_.watch([this] { busChanged_.notify(); })),
          control_(sim::ControlChannel::openFromEnvironment(bus_))
    {
    }
    ~SimLink() override
    {
        bus_.unwatch(watch_);
        close();
    }

    OpenResult open() override
    {
        std::unique_lock lock(mutex_);
        if (camera_)
            return OpenResult::Opened;
        // Cameras enumerate in bus order; the first one present that may be
        // opened is opened, as on the USB link.
        DeviceProblem first;
        for (int i = 0; i < sim::kSimCameraCount; ++i) {
            auto& candidate = bus_.camera(i);
            const uint64_t generation = candidate.generation();
            if (const sim::Access access = candidate.access();
                access != sim::Access::Granted && candidate.isPresent(generation)) {
                if (first.reason == AccessProblem::None)
                    first = {access == sim::Access::Busy ? AccessProblem::Busy : AccessProblem::PermissionDenied, 0,
                             i + 1, 0, 0, {}};
                continue;
            }
            if (candidate.attach(generation)) {
                camera_ = &candidate;
                generation_ = generation;
                gone_.store(false, std::memory_order_release);
                usable_.store(true, std::memory_order_release);
                problems_.attempt({});
                return OpenResult::Opened;
            }
        }
        problems_.attempt(first);
        refused_ = first.reason != AccessProblem::None;
        return refused_ ? OpenResult::SetupFailed : OpenResult::NotFound;
    }

    void close() override
    {
        usable_.store(false, std::memory_order_release);
        std::unique_lock lock(mutex_);
        if (camera_)
            camera_->detach();
        camera_ = nullptr;
    }

    bool isOpen() const override
    {
        std::shared_lock lock(mutex_);
        return camera_ != nullptr;
    }

    bool isOpenDevicePresent() override
    {
        std::shared_lock lock(mutex_);
        if (!camera_)
            return true;
        return !gone_.load(std::memory_order_acquire) && camera_->isPresent(generation_);
    }

    bool controlTransfer(const SetupPacket& setup, uint8_t* data) override
    {
        if (!usable_.load(std::memory_order_acquire))
            return false;
        std::shared_lock lock(mutex_);
        if (!camera_)
            return false;
        const auto outcome = camera_->control(generation_, setup, data);
        if (outcome == sim::ControlOutcome::NoDevice)
            gone_.store(true, std::memory_order_release);
        return outcome == sim::ControlOutcome::Ok;
    }

    ReadResult bulkRead(uint8_t* buffer, std::size_t size, std::size_t& received, std::chrono::milliseconds limit,
                        const std::atomic<bool>& keepReading) override
    {
        received = 0;
        if (!usable_.load(std::memory_order_acquire))
            return ReadResult::Failed;
        std::shared_lock lock(mutex_);
        if (!camera_)
            return ReadResult::Failed;
        const ReadResult result = camera_->read(generation_, buffer, size, received, limit, keepReading);
        if (result == ReadResult::Failed && !camera_->isPresent(generation_))
            gone_.store(true, std::memory_order_release);
        return result;
    }

    void interruptRead() override
    {
        std::shared_lock lock(mutex_);
        if (camera_)
            camera_->interruptRead();
    }

    DeviceProblem problem() const override { return problems_.current(); }
    bool retryOpenSoon() const override { return refused_; }

private:
    sim::SimBus& bus_;
    const int watch_;  // tells busChanged_ of plug and access changes
    bool refused_ = false;  // connection thread only: the last open() found a camera it may not open
    mutable std::shared_mutex mutex_;  // protects camera_ and generation_: requests share it, open/close own it
    sim::SimCamera* camera_ = nullptr;
    uint64_t generation_ = 0;
    std::atomic<bool> gone_{false};  // a transfer found the opened camera unplugged
    ProblemReport problems_;         // the camera the last open attempts could not open
    // Cleared by close() before it waits for mutex_, so that new requests fail
    // at once and a stream of them cannot keep close() waiting; set by open().
    std::atomic<bool> usable_{false};
    std::unique_ptr<sim::ControlChannel> control_;  // QDX_SIM_CONTROL; null without one
};

}  // namespace

std::unique_ptr<Link> makeSimLink()
{
    return std::make_unique<SimLink>();
}

}  // namespace qdx

#include "ui/background_task.h"

#include <QMetaObject>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>
#include <vector>

namespace korvane::ui {

struct BackgroundTask::State {
    std::stop_source stop;
    std::atomic<bool> ended{false};
    std::mutex mutex;
    bool abandoned = false; // guarded by mutex
};

namespace {

// The threads of abandoned work: joined once they have ended, and the rest
// when the program ends.
class Reaper {
public:
    ~Reaper()
    {
        for (Kept& kept : kept_)
            kept.thread.join();
    }

    void keep(std::thread thread, std::function<bool()> ended)
    {
        const std::lock_guard lock(mutex_);
        collect();
        kept_.push_back({std::move(thread), std::move(ended)});
    }

    std::size_t running()
    {
        const std::lock_guard lock(mutex_);
        collect();
        return kept_.size();
    }

private:
    struct Kept {
        std::thread thread;
        std::function<bool()> ended;
    };

    void collect()
    {
        std::erase_if(kept_, [](Kept& kept) {
            if (!kept.ended())
                return false;
            kept.thread.join();
            return true;
        });
    }

    std::mutex mutex_;
    std::vector<Kept> kept_;
};

Reaper& reaper()
{
    static Reaper instance;
    return instance;
}

} // namespace

void lowerThreadPriority()
{
    // Linux keeps a nice value for each thread: this one only.
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (errno == 0)
        setpriority(PRIO_PROCESS, self, std::min(now + kBackgroundNice, 19));
}

BackgroundTask::BackgroundTask(QObject* receiver) : receiver_(receiver) {}

BackgroundTask::~BackgroundTask()
{
    abandon();
}

void BackgroundTask::start(Work work, std::function<void()> done)
{
    if (state_)
        return;
    auto state = std::make_shared<State>();
    state_ = state;
    thread_ = std::thread([this, state, work = std::move(work), done = std::move(done), receiver = receiver_] {
        lowerThreadPriority();
        work(state->stop.get_token());
        {
            // While it is not abandoned, the task and its receiver are there.
            const std::lock_guard lock(state->mutex);
            if (!state->abandoned) {
                QMetaObject::invokeMethod(
                    receiver,
                    [this, state, done] {
                        {
                            const std::lock_guard held(state->mutex);
                            if (state->abandoned)
                                return;
                        }
                        finished();
                        done();
                    },
                    Qt::QueuedConnection);
            }
        }
        state->ended.store(true);
    });
}

void BackgroundTask::finished()
{
    thread_.join();
    state_.reset();
}

void BackgroundTask::stop()
{
    if (state_)
        state_->stop.request_stop();
}

bool BackgroundTask::stopping() const
{
    return state_ && state_->stop.stop_requested();
}

void BackgroundTask::abandon()
{
    if (!state_)
        return;
    const std::shared_ptr<State> state = std::move(state_);
    state->stop.request_stop();
    {
        const std::lock_guard lock(state->mutex);
        state->abandoned = true;
    }
    reaper().keep(std::move(thread_), [state] { return state->ended.load(); });
}

void BackgroundTask::stopAndWait()
{
    if (!state_)
        return;
    state_->stop.request_stop();
    {
        const std::lock_guard lock(state_->mutex);
        state_->abandoned = true;
    }
    thread_.join();
    state_.reset();
}

std::size_t BackgroundTask::abandonedRunning()
{
    return reaper().running();
}

} // namespace korvane::ui

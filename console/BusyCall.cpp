#include "BusyCall.h"

#include <QDialog>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A quick call ends before the box would only flash up.
constexpr auto kQuietWait = std::chrono::milliseconds(150);

struct Job {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    QDialog* box = nullptr;  // told when the call ends, while it waits
};

// Threads of calls given up on. They are joined once ended, and all of them
// when the program ends: the mail libraries stay loaded until then.
class GivenUp {
public:
    static GivenUp& instance() {
        static GivenUp g;
        return g;
    }
    void adopt(std::thread thread, std::shared_ptr<Job> job, std::function<void()> cancel) {
        std::lock_guard lock(mutex_);
        reap();
        calls_.push_back({std::move(thread), std::move(job), std::move(cancel)});
    }
    std::size_t running() {
        std::lock_guard lock(mutex_);
        reap();
        return calls_.size();
    }
    ~GivenUp() {
        for (auto& c : calls_)
            if (c.cancel) c.cancel();
        for (auto& c : calls_)
            if (c.thread.joinable()) c.thread.join();
    }

private:
    struct Call {
        std::thread thread;
        std::shared_ptr<Job> job;
        std::function<void()> cancel;
    };
    void reap() {
        std::vector<Call> left;
        for (auto& c : calls_) {
            bool done;
            {
                std::lock_guard jobLock(c.job->mutex);
                done = c.job->done;
            }
            if (done)
                c.thread.join();
            else
                left.push_back(std::move(c));
        }
        calls_ = std::move(left);
    }
    std::mutex mutex_;
    std::vector<Call> calls_;
};

}  // namespace

bool runWhileBusy(QWidget* owner, const QString& title, const QString& text, std::function<void()> call,
                  std::function<void()> cancel) {
    auto job = std::make_shared<Job>();
    auto work = std::make_shared<std::function<void()>>(std::move(call));
    std::thread thread;
    try {
        thread = std::thread([job, work] {
            try {
                (*work)();
            } catch (...) {
                // Nothing may leave the thread; the caller sees the call as ended.
            }
            std::lock_guard lock(job->mutex);
            job->done = true;
            job->ended.notify_all();
            if (job->box) QMetaObject::invokeMethod(job->box, &QDialog::accept, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the call runs here, as it did before threads.
        (*work)();
        return true;
    }

    {
        std::unique_lock lock(job->mutex);
        if (job->ended.wait_for(lock, kQuietWait, [&] { return job->done; })) {
            lock.unlock();
            thread.join();
            return true;
        }
    }

    QDialog box(owner);
    box.setObjectName(QStringLiteral("dlgBusy"));
    box.setWindowTitle(title);
    box.setModal(true);
    auto* layout = new QVBoxLayout(&box);
    auto* label = new QLabel(text, &box);
    auto* bar = new QProgressBar(&box);
    bar->setRange(0, 0);  // no known length: a moving indicator
    bar->setTextVisible(false);
    auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), &box);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    QObject::connect(cmdCancel, &QPushButton::clicked, &box, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addWidget(cmdCancel, 0, Qt::AlignHCenter);
    box.setMinimumWidth(300);

    bool done;
    {
        std::lock_guard lock(job->mutex);
        done = job->done;
        if (!done) job->box = &box;
    }
    const bool accepted = done || box.exec() == QDialog::Accepted;
    {
        std::lock_guard lock(job->mutex);
        job->box = nullptr;
        done = job->done;
    }
    if (done) {
        thread.join();
        return accepted;
    }
    if (cancel) cancel();
    GivenUp::instance().adopt(std::move(thread), std::move(job), std::move(cancel));
    return false;
}

std::size_t callsStillRunning() { return GivenUp::instance().running(); }

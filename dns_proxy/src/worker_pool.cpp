#include "worker_pool.h"

#include "daemon.h"
#include "forwarder.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace velmora {

namespace {
// Threads waiting in recvfrom at once. Each reply sent from the listening socket walks the
// socket's wait queue, so it is kept short; more than one keeps a hand-over off most queries.
constexpr unsigned max_receivers = 4;
} // namespace

worker_pool::worker_pool(int listen_fd, handler_fn handler, unsigned max_workers,
                         size_t stack_size, int idle_seconds)
    : listen_fd_(listen_fd), handler_(handler), max_workers_(max_workers),
      stack_size_(stack_size), idle_seconds_(idle_seconds) {
    // The receive time-out only lets surplus receivers notice that they can step back.
    timeval tv{idle_seconds, 0};
    setsockopt(listen_fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void worker_pool::run_first() {
    work(true);
    pause_forever();
}

void* worker_pool::thread_main(void* self) {
    static_cast<worker_pool*>(self)->work(false);
    return nullptr;
}

// Makes sure someone will receive the next datagram: an idle worker, else a new thread. A
// worker already called, or a thread still starting, will receive soon: the pool would
// otherwise grow by a thread for nearly every query while thread starts are slow.
void worker_pool::call_receiver_locked() {
    if (wakeups_ > 0 || starting_ > 0) return;
    if (idle_ > 0) {
        idle_--;
        wakeups_++;
        wake_.notify_one();
        return;
    }
    if (threads_ >= max_workers_) return; // all busy: the first to finish receives
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, stack_size_);
    pthread_t tid;
    if (pthread_create(&tid, &attr, thread_main, this) == 0) {
        threads_++;
        starting_++;
    } else {
        log_msg("[ERROR] Failed to create thread");
    }
    pthread_attr_destroy(&attr);
}

// Waits until called to receive. False when the worker should end (idle too long).
bool worker_pool::wait_idle(std::unique_lock<std::mutex>& lock, bool first) {
    for (;;) {
        idle_++;
        if (wake_.wait_for(lock, std::chrono::seconds(idle_seconds_),
                           [this] { return wakeups_ > 0; })) {
            wakeups_--; // the caller already took idle_ down
            return true;
        }
        idle_--;
        if (!first) return false;
    }
}

// Takes a receiver's place, or waits idle while enough others receive. False when the worker
// should end. The count is re-checked under the mutex before waiting, so a worker cannot go
// idle unseen while the last receiver is calling for help.
bool worker_pool::become_receiver(bool first) {
    if (receivers_.load() < max_receivers) {
        receivers_.fetch_add(1);
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (receivers_.load() >= max_receivers && !wait_idle(lock, first)) {
        threads_--;
        return false;
    }
    receivers_.fetch_add(1);
    return true;
}

void worker_pool::work(bool first) {
    if (!first) {
        std::lock_guard<std::mutex> lock(mutex_);
        starting_--;
    }
    // The hot path (receive, handle, receive again) takes no lock while receivers are left.
    for (;;) {
        if (!become_receiver(first)) return;

        std::unique_ptr<dns_request> req(new (std::nothrow) dns_request);
        ssize_t n = -1;
        int err = ENOMEM;
        if (req) {
            req->client_addr_len = sizeof(sockaddr_in);
            n = recvfrom(listen_fd_, req->query, sizeof req->query, 0,
                         reinterpret_cast<sockaddr*>(&req->client_addr), &req->client_addr_len);
            err = errno;
        }
        unsigned left = receivers_.fetch_sub(1) - 1;

        if (n < 0) {
            if (err == ENOMEM) {
                pause_ms(50);
            } else if (!first && (err == EAGAIN || err == EWOULDBLOCK) && left > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                threads_--; // idle while others are receiving: not needed
                return;
            }
            continue;
        }
        if (left == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (receivers_.load() == 0) call_receiver_locked();
        }

        prepare_request(*req, static_cast<int>(n), listen_fd_);
        handler_(req.release());
    }
}

} // namespace velmora

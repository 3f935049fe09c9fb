// The threads that receive and handle queries. A few idle workers (at most max_receivers) wait
// in recvfrom on the listening socket, the kernel handing each datagram to exactly one of them;
// the worker that receives a datagram handles that request to its end, then goes back to
// receiving, or waits on a condition variable when enough others are receiving already. When
// the last receiver takes a datagram it wakes an idle worker, or starts a new one while fewer
// than max_workers exist: so at most max_workers requests are in flight, and once all of them
// are busy nobody reads the socket and the kernel's queue absorbs or drops the excess. A worker
// idle for idle_seconds ends (the first one stays). Reusing threads keeps a thread start and a
// hand-over between threads off nearly every query; keeping few threads on the socket's wait
// queue keeps each reply sent from it cheap.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace velmora {

struct dns_request;

class worker_pool {
  public:
    /// handler runs in the worker that received the request and owns it.
    using handler_fn = void (*)(dns_request*);

    worker_pool(int listen_fd, handler_fn handler, unsigned max_workers, size_t stack_size,
                int idle_seconds);
    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;

    /// Runs the calling thread as the first worker; never returns.
    [[noreturn]] void run_first();

  private:
    static void* thread_main(void* self);
    void work(bool first);
    void call_receiver_locked();
    bool become_receiver(bool first);
    bool wait_idle(std::unique_lock<std::mutex>& lock, bool first);

    const int listen_fd_;
    handler_fn handler_;
    const unsigned max_workers_;
    const size_t stack_size_;
    const int idle_seconds_;

    std::mutex mutex_;
    std::condition_variable wake_;
    unsigned threads_ = 1;   // the first worker counts from the start
    std::atomic<unsigned> receivers_{0}; // workers in recvfrom (read without the mutex)
    unsigned idle_ = 0;      // workers waiting on wake_, not yet called
    unsigned wakeups_ = 0;   // calls to receive not yet taken by an idle worker
    unsigned starting_ = 0;  // threads started that have not begun to work yet
};

} // namespace velmora

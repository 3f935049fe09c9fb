// The configuration record of zapret2-ctl: what the UCI package "zapret2"
// says once every value has been checked (bad values replaced by defaults).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zapret2_ctl {

struct free_delete {
    void operator()(void* p) const noexcept { std::free(p); }
};
// A private heap copy of a text; empty (null) means "none".
using heap_text = std::unique_ptr<char, free_delete>;

// Heap copy of text; null in gives null out silently. When the copy cannot
// be made, logs the ERROR "Memory allocation failed in strdup" and returns null.
heap_text dup_string(const char* text);

// Singly linked list of entries that own themselves through `next`.
// Entries are allocated with new (std::nothrow) by the loader.
template <class entry> class entry_list {
  public:
    entry_list() = default;
    entry_list(const entry_list&) = delete;
    entry_list& operator=(const entry_list&) = delete;
    entry_list(entry_list&& o) noexcept { take(o); }
    entry_list& operator=(entry_list&& o) noexcept {
        if (this != &o) {
            clear();
            take(o);
        }
        return *this;
    }
    ~entry_list() { clear(); }

    void push_front(entry* e) noexcept {
        e->next = head_;
        head_ = e;
        if (!tail_) tail_ = e;
        ++size_;
    }
    void push_back(entry* e) noexcept {
        e->next = nullptr;
        if (tail_)
            tail_->next = e;
        else
            head_ = e;
        tail_ = e;
        ++size_;
    }
    // Iterative, so a long list cannot exhaust the stack.
    void clear() noexcept {
        while (head_) {
            entry* next = head_->next;
            delete head_;
            head_ = next;
        }
        tail_ = nullptr;
        size_ = 0;
    }
    const entry* front() const noexcept { return head_; }
    bool empty() const noexcept { return head_ == nullptr; }
    std::size_t size() const noexcept { return size_; }

  private:
    void take(entry_list& o) noexcept {
        head_ = o.head_;
        tail_ = o.tail_;
        size_ = o.size_;
        o.head_ = o.tail_ = nullptr;
        o.size_ = 0;
    }
    entry* head_ = nullptr;
    entry* tail_ = nullptr;
    std::size_t size_ = 0;
};

struct strategy_entry {
    heap_text name;
    bool enabled = true;
    heap_text port;
    heap_text protocols;        // option "protocol", joined
    heap_text filter_l7;        // joined
    heap_text hostlists;        // option "hostlist", joined
    heap_text hostlist_exclude; // joined
    heap_text script;
    strategy_entry* next = nullptr;
};

struct hostlist_entry {
    heap_text name;
    heap_text path;
    hostlist_entry* next = nullptr;
};

// Sections of type "blob" and "luascript".
struct file_entry {
    heap_text name;
    heap_text path;
    bool enabled = false;
    file_entry* next = nullptr;
};

constexpr int32_t default_qnum = 300;
constexpr uint32_t default_desync_mark = 0x40000000u;
constexpr const char* default_ws_user = "daemon";
constexpr const char* default_autohostlist_file = "/opt/zapret2/ipset/zapret_hosts_auto.txt";
constexpr int32_t default_autohostlist_fail_threshold = 3;
constexpr int32_t default_autohostlist_fail_time = 60;
constexpr int32_t default_autohostlist_retrans_threshold = 3;
constexpr const char* default_strategy_port = "443";

// A value-initialised record (zapret2_config{}) is the "all zeros" state.
struct zapret2_config {
    bool enabled;
    bool debug;
    int32_t qnum;
    uint32_t desync_mark;
    heap_text ws_user;
    bool autohostlist_enabled;
    heap_text autohostlist_file;
    int32_t autohostlist_fail_threshold;
    int32_t autohostlist_fail_time;
    int32_t autohostlist_retrans_threshold;
    bool autohostlist_debuglog;
    entry_list<strategy_entry> strategies; // file order
    entry_list<hostlist_entry> hostlists;  // reverse file order
    entry_list<file_entry> blobs;          // reverse file order
    entry_list<file_entry> luascripts;     // reverse file order
};

// Releases what the record holds (if anything), then sets every field to its
// default with empty lists.
void config_set_defaults(zapret2_config& cfg);

// Releases every string and entry and clears the record to zeros; it may be
// loaded again afterwards.
void config_free(zapret2_config& cfg);

// Number of strategies whose enabled flag is true.
int config_count_enabled(const zapret2_config& cfg);

} // namespace zapret2_ctl

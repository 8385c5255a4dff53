#pragma once
// The scheduled tasks. Changed only on the UI thread (load, the settings callback codes,
// shutdown); the schedule supervisor reads a snapshot from its own thread under the lock.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/records.h"

namespace vidora {

class TaskList {
  public:
    TaskList() = default;
    ~TaskList();
    TaskList(const TaskList&) = delete;
    TaskList& operator=(const TaskList&) = delete;

    // A new zeroed record owned by the list's allocator until appended or released.
    TaskRecord* allocate();
    // Frees a record. A record that is still listed stays readable until it is removed (the
    // settings page frees before it removes), so a concurrent snapshot never reads freed memory.
    void release(TaskRecord* record);
    // Appends a record obtained from allocate(); the list owns it from now on.
    void append(TaskRecord* record);
    // Removes every entry holding this address; compares addresses only.
    void remove(const TaskRecord* record);

    std::size_t count() const;
    // The record at a position in list order, or nullptr (UI thread).
    TaskRecord* at(std::size_t index) const;
    // A copy of the listed records in order, for other threads.
    std::vector<TaskRecord> snapshot() const;
    // Frees every record and empties the list.
    void freeAll();

  private:
    mutable std::mutex mutex_;
    std::vector<TaskRecord*> entries_;
    std::map<const TaskRecord*, std::unique_ptr<TaskRecord>> owned_;
    std::set<const TaskRecord*> releasePending_;
};

}  // namespace vidora

#include "app/task_list.h"

#include <algorithm>
#include <cstring>

namespace vidora {

TaskList::~TaskList() {
    freeAll();
}

TaskRecord* TaskList::allocate() {
    auto record = std::make_unique<TaskRecord>(TaskRecord{});
    TaskRecord* raw = record.get();
    std::lock_guard lock(mutex_);
    owned_[raw] = std::move(record);
    return raw;
}

void TaskList::release(TaskRecord* record) {
    std::lock_guard lock(mutex_);
    auto it = owned_.find(record);
    if (it == owned_.end())
        return;  // not one of ours: never free foreign memory
    if (std::find(entries_.begin(), entries_.end(), record) != entries_.end()) {
        releasePending_.insert(record);  // freed when it leaves the list
        return;
    }
    owned_.erase(it);
}

void TaskList::append(TaskRecord* record) {
    std::lock_guard lock(mutex_);
    if (!owned_.count(record) || releasePending_.count(record))
        return;
    entries_.push_back(record);
}

void TaskList::remove(const TaskRecord* record) {
    std::lock_guard lock(mutex_);
    std::erase(entries_, record);
    if (releasePending_.erase(record))
        owned_.erase(record);
}

std::size_t TaskList::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

TaskRecord* TaskList::at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < entries_.size() ? entries_[index] : nullptr;
}

std::vector<TaskRecord> TaskList::snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<TaskRecord> copy;
    copy.reserve(entries_.size());
    for (const TaskRecord* record : entries_) {
        if (!releasePending_.count(record))
            copy.push_back(*record);
    }
    return copy;
}

void TaskList::freeAll() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    releasePending_.clear();
    owned_.clear();
}

}  // namespace vidora

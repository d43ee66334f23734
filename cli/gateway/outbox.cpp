#include "outbox.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace tessaro::gateway {

namespace {

// Segment numbers start high so that messages put back at exit can take a
// number below every segment already on disk.
constexpr std::uint64_t kFirstSegment = 1000000000;
constexpr const char *kSuffix = ".spool";

std::uint64_t fileSize(const std::string &path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

std::string Outbox::segmentPath(std::uint64_t number) const {
    char name[32];
    std::snprintf(name, sizeof name, "%020" PRIu64, number);
    return (fs::path(limits_.spoolFolder) / (std::string(name) + kSuffix)).string();
}

std::vector<std::uint64_t> Outbox::segments() const {
    std::vector<std::uint64_t> numbers;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(limits_.spoolFolder, error)) {
        const fs::path &path = entry.path();
        if (path.extension() != kSuffix) continue;
        const std::string stem = path.stem().string();
        if (stem.empty() || stem.find_first_not_of("0123456789") != std::string::npos) continue;
        numbers.push_back(std::stoull(stem));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool Outbox::open(const OutboxLimits &limits, std::string &error) {
    const std::lock_guard<std::mutex> guard(mutex_);
    limits_ = limits;
    if (limits_.memoryMessages == 0) limits_.memoryMessages = 1;
    if (limits_.spoolFolder.empty()) return true;
    std::error_code failure;
    fs::create_directories(limits_.spoolFolder, failure);
    if (failure || !fs::is_directory(limits_.spoolFolder)) {
        error = "cannot use spool folder " + limits_.spoolFolder +
                (failure ? ": " + failure.message() : "");
        return false;
    }
    const auto numbers = segments();
    nextSegment_ = numbers.empty() ? kFirstSegment : numbers.back() + 1;
    segmentCount_ = numbers.size();
    for (const std::uint64_t number : numbers) counts_.onDisk += fileSize(segmentPath(number));
    return true;
}

bool Outbox::spill(std::deque<std::string> &messages) {
    if (limits_.spoolFolder.empty() || messages.empty()) return false;
    std::uint64_t bytes = 0;
    for (const std::string &message : messages) bytes += message.size() + 1;
    if (counts_.onDisk + bytes > limits_.spoolBytes) return false;
    const std::string path = segmentPath(nextSegment_);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string &message : messages) out << message << '\n';
    out.flush();
    if (!out) {
        out.close();
        std::remove(path.c_str());
        return false;
    }
    ++nextSegment_;
    ++segmentCount_;
    counts_.onDisk += bytes;
    counts_.spooledMessages += messages.size();
    messages.clear();
    return true;
}

bool Outbox::push(const std::string &message) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (memory_.size() >= limits_.memoryMessages && !spill(memory_)) {
        ++counts_.dropped;
        return false;
    }
    memory_.push_back(message);
    ++counts_.accepted;
    return true;
}

bool Outbox::openOldestSegment() {
    if (segmentCount_ == 0) return false;
    const auto numbers = segments();
    segmentCount_ = numbers.size();  // in case someone emptied the folder
    if (numbers.empty()) return false;
    segmentNumber_ = numbers.front();
    segment_.open(segmentPath(segmentNumber_), std::ios::binary);
    return segment_.is_open();
}

void Outbox::closeSegment(bool remove) {
    segment_.close();
    segment_.clear();
    if (!remove) return;
    const std::string path = segmentPath(segmentNumber_);
    const std::uint64_t size = fileSize(path);
    std::remove(path.c_str());
    --segmentCount_;
    counts_.onDisk -= std::min(counts_.onDisk, size);
}

bool Outbox::take(std::string &message) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!returned_.empty()) {
        message = std::move(returned_.front());
        returned_.pop_front();
        return true;
    }
    while (segment_.is_open() || openOldestSegment()) {
        if (std::getline(segment_, message)) {
            if (!message.empty()) return true;
            continue;
        }
        closeSegment(true);
    }
    if (memory_.empty()) return false;
    message = std::move(memory_.front());
    memory_.pop_front();
    return true;
}

void Outbox::giveBack(const std::vector<std::string> &messages) {
    const std::lock_guard<std::mutex> guard(mutex_);
    returned_.insert(returned_.begin(), messages.begin(), messages.end());
}

void Outbox::persist() {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (limits_.spoolFolder.empty()) {
        counts_.dropped += returned_.size() + memory_.size();
        returned_.clear();
        memory_.clear();
        return;
    }
    // The oldest messages (put back, and the rest of the segment being read)
    // take a number before every other segment.
    std::deque<std::string> front;
    front.swap(returned_);
    std::uint64_t number = 0;
    if (segment_.is_open()) {
        std::string line;
        while (std::getline(segment_, line))
            if (!line.empty()) front.push_back(line);
        number = segmentNumber_;
        closeSegment(true);
    } else {
        const auto numbers = segments();
        number = numbers.empty() ? nextSegment_++ : numbers.front() - 1;
    }
    if (!front.empty()) {
        const std::uint64_t keep = nextSegment_;
        nextSegment_ = number;
        const std::uint64_t limit = limits_.spoolBytes;
        limits_.spoolBytes = UINT64_MAX;  // already counted when they came
        const std::size_t count = front.size();
        if (!spill(front)) counts_.dropped += count;
        else counts_.spooledMessages -= count;
        limits_.spoolBytes = limit;
        nextSegment_ = std::max(keep, number + 1);
    }
    const std::size_t count = memory_.size();
    if (!memory_.empty() && !spill(memory_)) {
        counts_.dropped += count;
        memory_.clear();
    }
}

bool Outbox::empty() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return returned_.empty() && memory_.empty() && !segment_.is_open() && segmentCount_ == 0;
}

OutboxCounts Outbox::counts() {
    const std::lock_guard<std::mutex> guard(mutex_);
    OutboxCounts counts = counts_;
    counts.inMemory = memory_.size() + returned_.size();
    return counts;
}

}  // namespace tessaro::gateway

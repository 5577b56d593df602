// Pixels of an image moved to the end of a block that an inaccessible page
// follows, so that a kernel reading past the last row faults.
#pragma once

#include "qimown.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace qimtest {

class GuardedPixels {
public:
    explicit GuardedPixels(QimImage* image) : image_(image), own_(image->imageData)
    {
        const size_t page = (size_t)sysconf(_SC_PAGESIZE), bytes = (size_t)image->dataSize;
        size_ = (bytes + page - 1) / page * page + page;
        base_ = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(base_, MAP_FAILED);
        EXPECT_EQ(mprotect(static_cast<char*>(base_) + size_ - page, page, PROT_NONE), 0);
        char* data = static_cast<char*>(base_) + size_ - page - bytes;
        std::memcpy(data, own_, bytes);
        image->imageData = data;
    }
    ~GuardedPixels()
    {
        image_->imageData = own_;
        munmap(base_, size_);
    }
    GuardedPixels(const GuardedPixels&) = delete;
    GuardedPixels& operator=(const GuardedPixels&) = delete;

private:
    QimImage* image_;
    void* own_;
    void* base_ = nullptr;
    size_t size_ = 0;
};

}  // namespace qimtest

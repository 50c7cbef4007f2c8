#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(int size) : data_(static_cast<size_t>(size > 0 ? size : 1514)) {}

int TBuffer::Write(const void* data, int len) {
    if (!data || len <= 0) return 0;
    const int taken = std::min(len, Size() - wrCount_);
    if (taken <= 0) return 0;
    std::memcpy(data_.data() + wrCount_, data, static_cast<size_t>(taken));
    wrCount_ += taken;
    return taken;
}

const char* TBuffer::Peek(int& count) const {
    count = std::max(0, wrCount_ - rdCount_);
    return data_.data() + rdCount_;
}

void TBuffer::Remove(int n) {
    if (n <= 0) return;
    rdCount_ += std::min(n, wrCount_ - rdCount_);
    if (rdCount_ >= wrCount_) {
        rdCount_ = 0;
        wrCount_ = 0;
    }
}

}  // namespace net

// One send chunk of the TCP client: a fixed data area that is written at its
// end and read from its front. Once everything written has been read, the
// chunk is empty again and can be reused.
#pragma once

#include <vector>

namespace net {

class TBuffer {
public:
    // Capacity in bytes; zero or less means 1514.
    explicit TBuffer(int size);

    int Size() const { return static_cast<int>(data_.size()); }

    // Copies as many of the bytes as fit after what was written before;
    // returns how many it took (0 when the chunk is full).
    int Write(const void* data, int len);

    // The first unread byte; count receives the number of unread bytes.
    const char* Peek(int& count) const;

    // Marks up to n bytes as read (never more than are unread). When every
    // written byte has been read, the chunk starts again from its beginning.
    void Remove(int n);

private:
    std::vector<char> data_;
    int wrCount_ = 0;
    int rdCount_ = 0;
};

}  // namespace net

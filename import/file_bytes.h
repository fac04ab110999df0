#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tivarel {

// A file's bytes, in a buffer that is not cleared before they are read into it.
class FileContent {
public:
    FileContent() = default;
    explicit FileContent(size_t capacity);
    FileContent(FileContent&& other) noexcept { *this = std::move(other); }
    FileContent& operator=(FileContent&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }
    char* data() { return data_.get(); }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    void setSize(size_t size) { size_ = size; }   // the first `size` bytes hold the content
    // Room for at least `capacity` bytes, the content kept; it grows by half at least, so
    // that a file read a chunk at a time is copied a few times, not once per chunk.
    void reserve(size_t capacity);
    std::string_view view() const { return {data_.get(), size_}; }
    operator std::string_view() const { return view(); }

private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0, capacity_ = 0;
};

// The whole content of a file, uncompressed when it is gzipped (told by its
// content, not its name). Throws InputError naming the file when it cannot be read.
FileContent ReadPossiblyGzipped(const std::string& path);

}  // namespace tivarel
